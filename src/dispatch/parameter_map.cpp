#include "dispatch/parameter_map.h"

namespace Vorn {

std::size_t ParameterMap::IndexOf(std::string_view name) const {
    if (index_.empty()) {
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (entries_[i].first == name) return i;
        }
        return entries_.size();
    }
    auto found = index_.find(name);
    return found == index_.end() ? entries_.size() : found->second;
}

void ParameterMap::Set(std::string_view name, std::string value) {
    const std::size_t at = IndexOf(name);
    if (at != entries_.size()) {
        entries_[at].second = std::move(value);
        return;
    }
    entries_.emplace_back(std::string(name), std::move(value));
    if (!index_.empty()) {
        index_.emplace(entries_.back().first, at);
    } else if (entries_.size() > kSearchedAtMost) {
        for (std::size_t i = 0; i < entries_.size(); ++i) index_.emplace(entries_[i].first, i);
    }
}

const std::string* ParameterMap::Find(std::string_view name) const {
    const std::size_t at = IndexOf(name);
    return at == entries_.size() ? nullptr : &entries_[at].second;
}

}  // namespace Vorn

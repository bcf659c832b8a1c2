#include "dispatch/parameter_map.h"

namespace Vorn {

void ParameterMap::Set(std::string_view name, std::string value) {
    auto [found, added] = index_.try_emplace(std::string(name), entries_.size());
    if (added) {
        entries_.emplace_back(std::string(name), std::move(value));
    } else {
        entries_[found->second].second = std::move(value);
    }
}

const std::string* ParameterMap::Find(std::string_view name) const {
    auto found = index_.find(std::string(name));
    return found == index_.end() ? nullptr : &entries_[found->second].second;
}

}  // namespace Vorn

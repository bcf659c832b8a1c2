#include "host/resource_store.h"

#include <utility>

#include "dispatch/host_call_records.h"

namespace Vorn::Host {

void ResourceStore::Set(const std::string& path, BindingProperty value) { resources_[path] = std::move(value); }

void ResourceStore::Remove(const std::string& path) { resources_.erase(path); }

const BindingProperty* ResourceStore::Find(const std::string& path) const {
    auto found = resources_.find(path);
    return found != resources_.end() ? &found->second : nullptr;
}

Answer ResourceStore::Serve(uint32_t method, const std::string& path, const BindingProperty* value) {
    switch (method) {
        case kHostMethodGet:
        case kHostMethodHead: {
            const BindingProperty* stored = Find(path);
            if (stored == nullptr) return Answer::Error(404, "Not found");
            return method == kHostMethodGet ? Answer::Body(*stored) : Answer{};
        }
        case kHostMethodPatch:
            // A patch without a value changes nothing, and creates nothing.
            if (value != nullptr) {
                auto [entry, created] = resources_.try_emplace(path);
                if (created) {
                    entry->second = *value;
                } else {
                    MergeValue(entry->second, *value);
                }
            }
            return Answer{};
        case kHostMethodPut: resources_[path] = value != nullptr ? *value : BindingProperty(); return Answer{};
        case kHostMethodDelete: resources_.erase(path); return Answer{};
        case kHostMethodPost:
        case kHostMethodOptions: return Answer{};
        default: return Answer::Error(405, "Method not allowed");
    }
}

void MergeValue(BindingProperty& target, const BindingProperty& patch) {
    if (target.Kind() == BindingKind::Structure && patch.Kind() == BindingKind::Structure) {
        for (const auto& [name, member] : *patch.StructureMembers()) MergeValue(target.Member(name->View()), member);
        return;
    }
    target = patch;
}

}  // namespace Vorn::Host

#include "plugin/host_request.h"

namespace Vorn {

RequestParameters::~RequestParameters() {
    for (HostNamedValue& entry : entries_) ReleaseFlatValue(&entry.value);
}

bool RequestParameters::Add(const BindingProperty& value, const TypeRegistry* registry) {
    // Value-initialised: a null name and an empty value, safe to release
    // whether or not the conversion below fills it.
    HostNamedValue& entry = entries_.emplace_back();
    if (!FlatFromValue(value, registry, &entry.value)) {
        Fail("The parameters are nested too deeply to be sent.");
        return false;
    }
    return true;
}

BindingFlatValue* RequestParameters::NewEntry() { return &entries_.emplace_back().value; }

void RequestParameters::DropLastEntry() {
    ReleaseFlatValue(&entries_.back().value);
    entries_.pop_back();
}

void RequestParameters::Fail(std::string_view message) {
    if (failed_) return;
    failed_ = true;
    error_ = message;
}

}  // namespace Vorn

#pragma once
// Event payloads that a careless or broken host might hand a plug-in: wrong
// kinds, unknown kinds, null texts, nesting far beyond any limit and counts
// that no array can hold. A sound plug-in drops each of them without
// crashing and without keeping memory. Every one is something a plug-in can
// tell is wrong from the record itself; none asks it to guess an array's
// real length.
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "binding/flat_records.h"

namespace Vorn::HostSimulator {

struct HostilePayload {
    std::string name;  // what is wrong with it, for the report
    BindingFlatValue value;
};

// The payloads and the storage they point into; not copyable, since the
// values point into it.
class HostilePayloads {
public:
    HostilePayloads();
    HostilePayloads(const HostilePayloads&) = delete;
    HostilePayloads& operator=(const HostilePayloads&) = delete;

    const std::vector<HostilePayload>& All() const { return payloads_; }

private:
    BindingFlatValue* Values(std::size_t count);
    BindingFlatMember* Members(std::size_t count);

    std::deque<std::vector<BindingFlatValue>> values_;
    std::deque<std::vector<BindingFlatMember>> members_;
    std::vector<HostilePayload> payloads_;
};

// The payload of that name in one set made on first use and kept; null for a
// name none has.
const HostilePayload* FindHostilePayload(std::string_view name);

}  // namespace Vorn::HostSimulator

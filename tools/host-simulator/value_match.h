#pragma once
// How a scenario's expected value matches what the plug-in sent: a map
// matches when every listed key matches ("$absent" as the expected value of a
// key: the key must not be there); a list when it has the same length and
// every element matches; numbers by numeric value whatever their kind (a
// signed 1200 matches an unsigned 1200, 1 matches 1.0); other scalars by
// value; "$any" matches any present value.
#include <string>

#include "binding/binding_property.h"

namespace Vorn::HostSimulator {

inline constexpr const char* kAnyValue = "$any";
inline constexpr const char* kAbsentValue = "$absent";

// actual null means "not present". On a mismatch, why names the place
// ("data.queues[1]") and what differs.
bool ValueMatches(const BindingProperty& expected, const BindingProperty* actual, std::string& why,
                  const std::string& where = {});

}  // namespace Vorn::HostSimulator

#pragma once
// Texts of the host's trace: one readable line per host call and delivered
// event, each starting with the virtual time.
#include <cstdint>
#include <string>

#include <vector>

#include "binding/binding_property.h"
#include "host/simulated_host.h"

namespace Vorn::Host {

// "[   12.500s]": seconds and milliseconds of virtual time.
std::string TimeStamp(uint64_t nanoseconds);
// Compact JSON; an empty value reads "null".
std::string JsonText(const BindingProperty& value);
// "name=json,json": named values, a value without a name as its JSON alone.
std::string ParametersText(const std::vector<RecordedParameter>& parameters);
// "GET", "PATCH", ...; other codes as "method 9".
std::string MethodText(uint32_t method);
// "OKAY", "WARN", "ERROR", "ALWAYS"; other levels as "level 7".
std::string LevelText(int32_t level);
// "0.250s".
std::string SecondsText(double seconds);
std::string HexText(uintptr_t word);

}  // namespace Vorn::Host

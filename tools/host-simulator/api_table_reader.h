#pragma once
// Reads a plug-in's API description table as a host does, straight from its
// packed records: each array by index, each of its records checked against
// the array's list links, every text checked for its terminating NUL before
// it is used. The same reading serves the validator (is the table sound?)
// and describe (what does it say?).
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "binding/binding_property.h"
#include "dispatch/api_table_records.h"

namespace Vorn::HostSimulator {

struct ApiTableReading {
    // {"functions": [...], "types": [...], "events": [...]}: what could be
    // read; an array whose count or pointer is unsound is left empty.
    BindingProperty description;
    // Each thing that makes the table unsound, a line each; none when it is
    // well formed.
    std::vector<std::string> problems;
};

// step, when given, is told what is read next: a pointer into unmapped memory
// ends the process, and the last step then says where the table went wrong.
ApiTableReading ReadApiTable(const ApiTable& table, const std::function<void(const std::string&)>& step = {});

// A text the plug-in hands over, copied: nothing when it is null or has no
// NUL within 1 MiB (no text of a plug-in's comes near that).
std::optional<std::string> BoundedText(const char* text);

// A member's, argument's or result's type as the reading describes it, as a
// line: "int32 (6)", "vector (15) of struct (17) Lamp".
std::string TypeText(const BindingProperty& typed);

}  // namespace Vorn::HostSimulator

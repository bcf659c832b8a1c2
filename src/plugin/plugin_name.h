#pragma once
// The names of a plug-in: its full name (a prefix by kind, then the short
// name), the short name the export passes, its type and a qualifier.
#include <string>
#include <string_view>

namespace Vorn {

struct PluginName {
    std::string fullName;
    std::string shortName;
    std::string type;
    std::string qualifier;
};

// The type record a plug-in's export hands the loader.
struct PluginTypeRecord {
    std::string type = "backend";
    std::string qualifier;
};

// "dmk-be-" for type "backend", "dmk-fe-" for "frontend", "dmk-xx-" (with an
// ERROR line) for any other type; then the short name.
PluginName GetFullNameFromShortNameAndType(std::string_view shortName, const PluginTypeRecord& type);

}  // namespace Vorn

#include "plugin/plugin_name.h"

#include "logging/log_groups.h"
#include "logging/log_message.h"
#include "logging/logger.h"
#include "support/message_format.h"

namespace Vorn {

PluginName GetFullNameFromShortNameAndType(std::string_view shortName, const PluginTypeRecord& type) {
    PluginName name{{}, std::string(shortName), type.type, type.qualifier};
    name.fullName.reserve(shortName.size() + 7);
    if (type.type == "backend") {
        name.fullName = "dmk-be-";
    } else if (type.type == "frontend") {
        name.fullName = "dmk-fe-";
    } else {
        name.fullName = "dmk-xx-";
        const std::string text = FormatMessage(
            "GetFullNameFromShortNameAndType(\"%1\", \"%2\") called with an unknown type", {shortName, type.type});
        Log(kLogError, static_cast<uint32_t>(kLogGroupDBG), 0, "            Plugin Manager| %s", text.c_str());
    }
    name.fullName += shortName;
    return name;
}

}  // namespace Vorn

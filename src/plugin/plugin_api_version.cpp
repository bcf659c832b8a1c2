#include "plugin/plugin_api_version.h"

#include "support/message_format.h"

namespace Vorn {

PluginApiVersion RuntimeApiVersion() { return PluginApiVersion{18, 0, 0, {}, {}}; }

bool IsCompatibleHost(const PluginApiVersion& plugin, const PluginApiVersion& host) {
    if (host.major != plugin.major) return false;
    if (host.minor != plugin.minor) return host.minor > plugin.minor;
    return host.patch >= plugin.patch;
}

std::string VersionText(const PluginApiVersion& version) {
    std::string text = FormatMessage("%1.%2.%3", {version.major, version.minor, version.patch});
    if (!version.prerelease.empty()) text += "-" + version.prerelease;
    if (!version.build.empty()) text += "+" + version.build;
    return text;
}

}  // namespace Vorn

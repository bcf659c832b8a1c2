#pragma once
// The plug-in API version and the rule by which a plug-in accepts a host.
#include <cstdint>
#include <string>

namespace Vorn {

struct PluginApiVersion {
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t patch = 0;
    std::string prerelease;
    std::string build;
};

// The version this runtime implements.
PluginApiVersion RuntimeApiVersion();

// A host serves a plug-in when their major versions are equal and the host is
// not older in minor, then patch. The texts take no part.
bool IsCompatibleHost(const PluginApiVersion& plugin, const PluginApiVersion& host);

// "18.0.0", then "-" prerelease and "+" build when they are not empty.
std::string VersionText(const PluginApiVersion& version);

}  // namespace Vorn

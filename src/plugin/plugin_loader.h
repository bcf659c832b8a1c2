#pragma once
// Loading a plug-in: the one export of a plug-in library constructs its
// plug-in object and hands it to LoadPlugin, which checks the host's version,
// names the plug-in, registers the runtime's and the plug-in's types, builds
// the API table and fills the host's record.
//
//   VORN_PLUGIN_ENTRY(load_my_plugin, MyPlugin, "my-plugin")
//
// defines the export; a plug-in library exports nothing else.
#include <new>

#include "dispatch/host_entry_guard.h"
#include "plugin/host_records.h"
#include "plugin/plugin_base.h"

namespace Vorn {

// Returns whether the record was filled; takes ownership of the plug-in (it
// is destroyed when loading fails, else by the stop callback). On an
// incompatible host version the failure report is logged and the process
// ends. A null record is refused without being read.
bool LoadPlugin(PluginBase* plugin, PluginHostRecord* record, const char* shortName);

template <typename Plugin>
bool LoadNewPlugin(PluginHostRecord* record, const char* shortName) noexcept {
    return GuardHostEntry("Plugin export", false, [&] {
        if (record == nullptr) return false;
        return LoadPlugin(new Plugin(), record, shortName);
    });
}

}  // namespace Vorn

#if defined(_WIN32)
#define VORN_PLUGIN_EXPORT_ATTRIBUTE __declspec(dllexport)
#else
#define VORN_PLUGIN_EXPORT_ATTRIBUTE __attribute__((visibility("default")))
#endif

#define VORN_PLUGIN_ENTRY(exportName, PluginClass, shortName)                                      \
    extern "C" VORN_PLUGIN_EXPORT_ATTRIBUTE bool VORN_HOST_CALL exportName(PluginHostRecord* record) { \
        return ::Vorn::LoadNewPlugin<PluginClass>(record, shortName);                               \
    }

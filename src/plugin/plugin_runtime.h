#pragma once
// The runtime's entries for the host: the callbacks of the record, the event
// and task functions handed to the host. Every one of them runs through
// GuardHostEntry. Internal to the plugin layer.
#include "plugin/host_records.h"
#include "plugin/plugin_base.h"

namespace Vorn {

struct PluginRuntime {
    static bool VORN_HOST_CALL StartCallback(void* plugin, const PluginStartRecord* host);
    static void VORN_HOST_CALL StopCallback(void* plugin);
    static void VORN_HOST_CALL MemoryStatisticsCallback(void* ignored, PluginMemoryStatistics* out);

    static void VORN_HOST_CALL ResourceEventFunction(const HostEventRecord* event);
    static void VORN_HOST_CALL ServiceProxyEventFunction(const HostEventRecord* event);
    static void VORN_HOST_CALL TaskFunction(uintptr_t user);

    // Loader steps that touch the plug-in's private state.
    static bool Load(PluginBase* plugin, PluginHostRecord* record, const char* shortName);
    static bool Start(PluginBase& plugin, const PluginStartRecord* host);

    class FlatEventScope;

    template <typename Record>
    static bool ConvertPayload(PluginBase& plugin, const HostEventRecord& event, const char* payloadType,
                               Record& out);
};

}  // namespace Vorn

#include "plugin/plugin_loader.h"

#include <cstring>
#include <memory>

#include "binding/page_pool.h"
#include "dispatch/identifier.h"
#include "logging/log_groups.h"
#include "logging/logger.h"
#include "plugin/failure_report.h"
#include "plugin/plugin_log_target.h"
#include "plugin/plugin_runtime.h"
#include "support/memory_hooks.h"
#include "support/message_format.h"

namespace Vorn {

namespace {

constexpr const char* kPluginLogFormat = "#D| #L| #G| #M";

}  // namespace

bool LoadPlugin(PluginBase* plugin, PluginHostRecord* record, const char* shortName) {
    return GuardHostEntry("Plugin loader", false, [&] {
        std::unique_ptr<PluginBase> owned(plugin);
        if (owned == nullptr || record == nullptr || shortName == nullptr) return false;
        if (!PluginRuntime::Load(owned.get(), record, shortName)) return false;
        owned.release();  // the stop callback destroys it
        return true;
    });
}

bool PluginRuntime::Load(PluginBase* plugin, PluginHostRecord* record, const char* shortName) {
    const PluginApiVersion own = RuntimeApiVersion();
    const PluginApiVersion host{record->major, record->minor, record->patch, {}, {}};
    if (!IsCompatibleHost(own, host)) {
        const std::string description =
            FormatMessage("%1 which supports plugin API %2 is not compatible with core's plugin API %3",
                          {shortName, VersionText(own), VersionText(host)});
        ReportFailureAndAbort(FailureReport{{}, {}, {}, "ALE-EECF0606", description});
    }
    plugin->hostVersion_ = host;
    plugin->name_ = GetFullNameFromShortNameAndType(shortName, PluginTypeRecord{});
    plugin->tags_ = {"Plugins", "Plugin " + plugin->name_.shortName};
    plugin->typeNamePrefix_ = ToIdentifier({}, plugin->name_.shortName);
    // The registry's own set-up (help and built-in types) comes first, then
    // the runtime's types, then the plug-in's.
    plugin->registry_->SetUp();
    RegisterRuntimeTypes(*plugin->registry_);
    plugin->RegisterTypes();
    plugin->apiTable_ = BuildApiTable(*plugin->registry_, plugin->functions_.get());
    plugin->callbacks_ = PluginCallbacks{&StartCallback, &StopCallback, &MemoryStatisticsCallback};

    record->major = own.major;
    record->minor = own.minor;
    record->patch = own.patch;
    record->callbacks = &plugin->callbacks_;
    record->plugin = plugin;
    record->shortName = plugin->name_.shortName.c_str();
    record->apiTable = plugin->apiTable_->Table();
    return true;
}

bool VORN_HOST_CALL PluginRuntime::StartCallback(void* plugin, const PluginStartRecord* host) {
    return GuardHostEntry("Plugin start callback", false, [&] {
        if (plugin == nullptr || host == nullptr) return false;
        return Start(*static_cast<PluginBase*>(plugin), host);
    });
}

bool PluginRuntime::Start(PluginBase& plugin, const PluginStartRecord* host) {
    plugin.startRecord_ = host;
    Logger& logger = Logger::Instance();
    if (logger.FindTarget("PluginLogTarget") == nullptr) {
        LogGroupBit("LOC");  // first registration: it takes slot 8
        // The host's target is made and attached before the default ones
        // are let go: when memory runs out on the way, the failure still has
        // a target to be logged to.
        auto target = std::make_unique<PluginLogTarget>(host->api);
        LogTargetConfig config;
        config.minimumLevel = kLogOkay;
        config.format = kPluginLogFormat;
        target->Configure(config);
        logger.Detach(&logger.StdErrTarget());
        logger.Detach(&logger.StdOutTarget());
        logger.Detach(&logger.DebuggerTarget());
        logger.SetMinimumLevel(kLogOkay);
        logger.SetSuppressedGroups(kLogGroupXTR);
        plugin.logTarget_ = std::move(target);
    }
    plugin.hostContext_ = host->context;
    // Responses and events build and drop trees all the time: keep some free
    // regions for them rather than paying the system for every tree, and as
    // many as its recent trees needed, up to the ceiling.
    PagePool::Instance().SetRetainedRegions(PagePool::kPluginReserve);
    PagePool::Instance().FollowRecentPeak(PagePool::kPluginPeakCeiling);
    plugin.userAgent_ = FormatMessage("VornClient/%1 (%2)", {VersionText(plugin.hostVersion_), plugin.ShortName()});
    plugin.telemetry_ = std::make_unique<TelemetrySender>(&plugin);

    PluginBase* self = &plugin;
    plugin.eventHandlers_["OnServiceProxyUuidEvent"].serviceProxy = [self](const PluginServiceProxyResponse& response) {
        self->OnServiceProxyResponse(response, response.uuid);
    };
    plugin.eventHandlers_["OnServiceProxyMethodEvent"].serviceProxy = [self](const PluginServiceProxyResponse& response) {
        self->OnServiceProxyResponse(response, FormatMessage("%1.%2", {response.serviceName, response.methodName}));
    };
    plugin.eventHandlers_["OnServiceProxyAsyncEvent"].serviceProxy = [self](const PluginServiceProxyResponse& response) {
        self->OnServiceProxyAsync(response);
    };
    for (const char* name : {"OnServiceProxyUuidEvent", "OnServiceProxyMethodEvent", "OnServiceProxyAsyncEvent"}) {
        plugin.HostSubscribe(name, plugin.hostContext_, &ServiceProxyEventFunction, reinterpret_cast<uintptr_t>(self),
                             1);
    }
    return plugin.Start();
}

void VORN_HOST_CALL PluginRuntime::StopCallback(void* plugin) {
    if (plugin == nullptr) return;
    // Declared first, so it runs after the plug-in is destroyed (also when
    // shutting down throws): the plug-in's trees are gone, and the free
    // regions kept for them go back to the system.
    struct ReserveRelease {
        ~ReserveRelease() {
            PagePool::Instance().FollowRecentPeak(0);
            PagePool::Instance().SetRetainedRegions(0);
        }
    } release;
    std::unique_ptr<PluginBase> owned(static_cast<PluginBase*>(plugin));
    // Only shutting down can throw (destructors cannot). Its failure is
    // logged before the plug-in and its log target are destroyed, or it
    // would never reach the host.
    GuardHostEntry("Plugin stop callback", [&owned] {
        owned->Shutdown();
    });
}

void VORN_HOST_CALL PluginRuntime::MemoryStatisticsCallback(void*, PluginMemoryStatistics* out) {
    GuardHostEntry("Plugin memory statistics callback", [out] {
        if (out == nullptr) return;
        MemoryStatisticsRecord statistics;
        ReadMemoryStatistics(ModuleMemoryCounters(), &statistics);
        static_assert(sizeof(statistics) == sizeof(*out), "the record the host reads");
        std::memcpy(out, &statistics, sizeof(*out));
    });
}

}  // namespace Vorn

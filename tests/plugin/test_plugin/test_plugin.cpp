// A plug-in built on the runtime for the runtime's own tests. The host drives
// it with command events on "/test/v1/command" ({"action": ..., ...}); it
// carries each command out through the runtime and reports what happened as
// one ALWAYS log line "REPORT <json>", which reaches the host's log entry.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/json_writer.h"
#include "logging/log_groups.h"
#include "logging/log_message.h"
#include "logging/log_target.h"
#include "logging/logger.h"
#include "platform/clock.h"
#include "plugin/plugin_loader.h"
#include "plugin/runtime_trace.h"
#include "plugin/time_arithmetic.h"

namespace Vorn::TestPlugin {

enum class Light : int32_t { Off = 0, On = 1, Blinking = 7 };

struct Lamp {
    int64_t id = 0;
    std::string name;
    Light light = Light::Off;
    std::vector<uint64_t> history;
};

// Described but never registered: it cannot be converted.
struct Unlisted {
    int32_t n = 0;
};

}  // namespace Vorn::TestPlugin

namespace Vorn {

template <>
struct BindingDescriptor<TestPlugin::Light> {
    static constexpr const char* kName = "Light";
    static constexpr BindingEnumeratorSpec kEnumerators[] = {{"Off", 0}, {"On", 1}, {"Blinking", 7}};
};

template <>
struct BindingDescriptor<TestPlugin::Lamp> {
    static constexpr const char* kName = "Lamp";
    static constexpr auto kFields = std::make_tuple(
        BindingField("id", &TestPlugin::Lamp::id, "Lamp number"), BindingField("name", &TestPlugin::Lamp::name),
        BindingField("light", &TestPlugin::Lamp::light),
        BindingField("history", &TestPlugin::Lamp::history, "", 0, true));
};

template <>
struct BindingDescriptor<TestPlugin::Unlisted> {
    static constexpr const char* kName = "Unlisted";
    static constexpr auto kFields = std::make_tuple(BindingField("n", &TestPlugin::Unlisted::n));
};

}  // namespace Vorn

namespace Vorn::TestPlugin {

// Where the next instance throws, set by the "arm" command ("construct",
// "register", "start", "shutdown"); cleared when it throws. A second host
// that loads this library gets the same module, so one instance arms the
// next one's load.
std::string g_armed;

void ThrowIfArmed(const std::string& point) {
    if (g_armed != point) return;
    g_armed.clear();
    throw std::runtime_error("armed to throw in " + point);
}

class TestPlugin : public PluginBase {
public:
    TestPlugin() { ThrowIfArmed("construct"); }

    void RegisterTypes() override {
        ThrowIfArmed("register");
        RegisterBindingType<Light>(Registry(), TypeNamePrefix());
        RegisterBindingType<Lamp>(Registry(), TypeNamePrefix());
        // As a plug-in's own set-up might leave the logger: start sets it up
        // for the host all the same.
        Logger::Instance().SetMinimumLevel(kLogAlways);
        Logger::Instance().SetSuppressedGroups(kLogGroupNET);
    }

    void Shutdown() override {
        ThrowIfArmed("shutdown");
        PluginBase::Shutdown();
    }

    bool Start() override {
        ThrowIfArmed("start");
        // A task pending from the start, for hosts that stop a plug-in with
        // work still scheduled (the validator's stop check).
        StartTimer("idle", 3600.0, [] {});
        ObserveResource<BindingProperty>("/test/v1/command", [this](const ResourceEvent<BindingProperty>& event) {
            if (event.eventType != PluginResourceEventType::Delete) Run(event.data);
        });
        return true;
    }

private:
    static void Report(const BindingProperty& report) {
        const std::string text = SerializeJson(report, nullptr);
        Log(kLogAlways, 0, 0, "REPORT %s", text.c_str());
    }

    template <typename T>
    void ReportResult(const RequestResult<T>& result, BindingProperty value, bool brief) {
        BindingProperty report;
        report.Member("ok").SetBool(result.Ok());
        if (result.Ok() && brief) {
            report.Member("length").SetUnsigned(SerializeJson(value, nullptr).size());
        } else if (result.Ok() && !std::is_void_v<T>) {
            report.Member("value") = std::move(value);
        } else if (!result.Ok()) {
            report.Member("code").SetSigned(result.Error().Code());
            report.Member("message").SetString(result.Error().Message());
        }
        Report(report);
    }

    template <typename T>
    void RequestWithResult(RequestMethod method, const std::string& path, const std::string& params,
                           const BindingProperty& command) {
        if (params == "record") {
            Lamp lamp{static_cast<int64_t>(command.GetMember("id").AsUnsigned()), "desk", Light::On, {1, 2}};
            Finish<T>(SendRequest<T>(method, path, lamp));
        } else if (params == "named") {
            NamedParameters named;
            for (const char* name : {"b", "a"}) {
                if (const BindingProperty* value = command.FindMember(name)) named.emplace_back(name, *value);
            }
            Finish<T>(SendRequest<T>(method, path, named));
        } else if (params == "deep") {
            NamedParameters named(1);
            BindingProperty* level = &named[0].second;
            for (int i = 0; i < 600; ++i) level = &level->AppendElement();
            Finish<T>(SendRequest<T>(method, path, named));
        } else if (params == "positional") {
            const std::vector<uint64_t> first{command.GetMember("first").AsUnsigned()};
            const std::vector<int32_t> second{1, -2};
            Finish<T>(SendRequest<T>(method, path, Positional(first, second)));
        } else if (params == "unregistered") {
            Finish<T>(SendRequest<T>(method, path, Unlisted{}));
        } else {
            Finish<T>(SendRequest<T>(method, path), command.GetMember("brief").AsBool());
        }
    }

    template <typename T>
    void Finish(const RequestResult<T>& result, bool brief = false) {
        BindingProperty value;
        if constexpr (!std::is_void_v<T>) {
            if (result.Ok()) {
                BindingResult converted;
                NativeToValue(converted, result.Value(), &Registry());
                value = converted.value;
            }
        }
        ReportResult(result, std::move(value), brief);
    }

    void ReportThen(const std::string& path) {
        BindingProperty report;
        report.Member("then").SetBool(SendRequest<BindingProperty>(RequestMethod::Get, path).Ok());
        Report(report);
    }

    void Run(const BindingProperty& command) {
        const std::string action(command.GetMember("action").AsString());
        const std::string path(command.GetMember("path").AsString());
        if (action == "request") {
            const auto method = static_cast<RequestMethod>(command.GetMember("method").AsUnsigned(2));
            const std::string result(command.GetMember("result").AsString());
            const std::string params(command.GetMember("params").AsString());
            if (result == "value") {
                RequestWithResult<BindingProperty>(method, path, params, command);
            } else if (result == "record") {
                RequestWithResult<Lamp>(method, path, params, command);
            } else if (result == "enum") {
                RequestWithResult<Light>(method, path, params, command);
            } else if (result == "vector") {
                RequestWithResult<std::vector<Lamp>>(method, path, params, command);
            } else {
                RequestWithResult<void>(method, path, params, command);
            }
        } else if (action == "observe") {
            const std::string type(command.GetMember("type").AsString());
            if (type == "record") {
                ObserveResource<Lamp>(path, [this](const ResourceEvent<Lamp>& event) {
                    BindingResult data;
                    NativeToValue(data, event.data, &Registry());
                    ReportEvent("lamp", event.uri, event.eventType, data.value);
                });
            } else if (type == "event") {
                ObserveResourceEvents(path, [this](const Resource& event) {
                    ReportEvent("event", event.uri, event.eventType, event.data);
                });
            } else {
                ObserveResource<BindingProperty>(path, [this](const ResourceEvent<BindingProperty>& event) {
                    ReportEvent("value", event.uri, event.eventType, event.data);
                });
            }
        } else if (action == "subscribe") {
            Subscribe(path);
        } else if (action == "unsubscribe") {
            Unsubscribe(path);
        } else if (action == "start-timer") {
            const std::string name(command.GetMember("name").AsString());
            const std::string then(command.GetMember("then").AsString());
            const double interval = command.GetMember("interval").AsDouble(command.GetMember("interval").AsUnsigned());
            // "then" happens at the firing numbered "times" (the first by default).
            const uint64_t times = command.GetMember("times").AsUnsigned(1);
            // Shared: the runtime calls copies of the callback.
            auto fired = std::make_shared<uint64_t>(0);
            StartTimer(name, interval, [this, name, then, times, fired] {
                BindingProperty report;
                report.Member("fired").SetString(name);
                Report(report);
                if (++*fired != times) return;
                if (then == "stop") StopTimer(name);
                if (then == "restart") StartTimer(name, 60.0, [] {});
                if (then == "throw") throw std::runtime_error("timer asked to throw");
            });
        } else if (action == "stop-timer") {
            StopTimer(std::string(command.GetMember("name").AsString()));
        } else if (action == "has-timer") {
            BindingProperty report;
            report.Member("has").SetBool(HasTimer(std::string(command.GetMember("name").AsString())));
            Report(report);
        } else if (action == "run-at") {
            // Relative to now, in seconds; negative puts the deadline in the past.
            const double offset = command.GetMember("in").AsDouble();
            const uint64_t now = Platform::MonotonicNanoseconds();
            const uint64_t deadline = offset >= 0 ? SaturatingAdd(now, SecondsToNanoseconds(offset))
                                                  : now - std::min(now, SecondsToNanoseconds(-offset));
            const std::string name(command.GetMember("name").AsString());
            RunAt(name, [name] {
                BindingProperty report;
                report.Member("ran").SetString(name);
                Report(report);
            }, deadline);
        } else if (action == "telemetry") {
            NamedParameters values;
            values.emplace_back("count", command.GetMember("count"));
            auto future = Telemetry()->SendTelemetry(std::string(command.GetMember("event").AsString()), values);
            BindingProperty report;
            report.Member("ready").SetBool(future.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
            report.Member("ok").SetBool(future.get().Ok());
            Report(report);
        } else if (action == "proxy-request") {
            // "then": a path the completion GETs (reading its answer) after reporting.
            const std::string key(command.GetMember("key").AsString());
            const std::string then(command.GetMember("then").AsString());
            AddServiceProxyRequest(key, [this, key, then](const PluginServiceProxyResponse& response) {
                BindingProperty report;
                report.Member("fulfilled").SetString(key);
                report.Member("payload").SetString(response.payload);
                Report(report);
                if (!then.empty()) ReportThen(then);
            });
        } else if (action == "proxy-handler") {
            const std::string key(command.GetMember("key").AsString());
            const std::string then(command.GetMember("then").AsString());
            const bool throws = command.GetMember("throw").AsBool();
            AddServiceProxyAsyncHandler(key, [this, key, then, throws](const PluginServiceProxyResponse& response) {
                BindingProperty report;
                report.Member("async").SetString(key);
                report.Member("payload").SetString(response.payload);
                Report(report);
                if (!then.empty()) ReportThen(then);
                if (throws) throw std::runtime_error("async handler asked to throw");
            });
        } else if (action == "log") {
            const uint64_t groups = LogGroupBit(command.GetMember("group").AsCString());
            Log(static_cast<int32_t>(command.GetMember("level").AsSigned()), static_cast<uint32_t>(groups),
                static_cast<uint32_t>(groups >> 32), "%s", command.GetMember("text").AsCString());
        } else if (action == "keep-groups") {
            // Every group but these is suppressed; lines of no group still pass.
            uint64_t kept = 0;
            for (const BindingProperty& code : command.GetMember("groups").Elements()) kept |= LogGroupBit(code.AsCString());
            Logger::Instance().SetSuppressedGroups(~kept);
        } else if (action == "trace") {
            // The runtime's trace, as OKAY lines "TRACE <line>".
            SetRuntimeTraceSink([](const char* line, void* prefix) {
                Log(kLogOkay, 0, 0, "%s %s", static_cast<const char*>(prefix), line);
            }, const_cast<char*>("TRACE"));
        } else if (action == "arm") {
            // Cut to what a point's name needs, so it stays inside the string
            // and the module's bytes in use never depend on what was armed.
            g_armed = command.GetMember("throwIn").AsString().substr(0, 15);
        } else if (action == "throw") {
            throw std::runtime_error("command asked to throw");
        } else if (action == "describe") {
            BindingProperty report;
            report.Member("userAgent").SetString(UserAgent());
            report.Member("prefix").SetString(TypeNamePrefix());
            report.Member("fullName").SetString(Name().fullName);
            report.Member("count").SetSigned(SubscriberCount(std::string(command.GetMember("event").AsString())));
            for (const std::string& tag : Tags()) report.Member("tags").AppendElement().SetString(tag);
            BindingProperty& log = report.Member("log");
            log.Member("slot8").SetString(LogGroupCode(8));
            for (const LogTarget* target : Logger::Instance().AttachedTargets()) {
                log.Member("targets").AppendElement().SetString(target->Name());
            }
            Report(report);
        }
    }

    void ReportEvent(const char* kind, const std::string& uri, PluginResourceEventType type,
                     const BindingProperty& data) {
        BindingProperty report;
        report.Member("handler").SetString(kind);
        report.Member("uri").SetString(uri);
        report.Member("type").SetSigned(static_cast<int32_t>(type));
        report.Member("data") = data;
        Report(report);
    }
};

}  // namespace Vorn::TestPlugin

VORN_PLUGIN_ENTRY(load_vorn_test_plugin, Vorn::TestPlugin::TestPlugin, "vorn-test-plugin")

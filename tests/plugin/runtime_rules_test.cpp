// The runtime's rules that need no simulated host: event names, path
// patterns, the version rule, plug-in names, failure reports, time
// arithmetic, request errors, the runtime's registered types, and the host
// calls of a plug-in object in this process.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "logging/logger.h"
#include "plugin/failure_report.h"
#include "plugin/host_request.h"
#include "plugin/plugin_api_version.h"
#include "plugin/plugin_loader.h"
#include "plugin/plugin_name.h"
#include "plugin/plugin_runtime.h"
#include "plugin/request_result.h"
#include "plugin/resource_events.h"
#include "plugin/runtime_types.h"
#include "plugin/time_arithmetic.h"
#include "recording_log_target.h"

namespace Vorn {
namespace {

TEST(EventNameForPath, KeepsFourElementsOrSixForPlatformConfig) {
    const struct {
        const char* path;
        const char* expected;
    } cases[] = {
        {"/qel-gameflow/v1/session", "OnJsonApiEvent_qel-gameflow_v1_session"},
        {"/player-notifications/v1/notifications/*", "OnJsonApiEvent_player-notifications_v1_notifications"},
        {"/qel-platform-config/v1/namespaces/FeaturedModes",
         "OnJsonApiEvent_qel-platform-config_v1_namespaces_FeaturedModes"},
        {"/qel-platform-config/v1/namespaces/A/B/C", "OnJsonApiEvent_qel-platform-config_v1_namespaces_A_B"},
        {"/a/b/c/d/e", "OnJsonApiEvent_a_b_c"},
        {"//a///b/", "OnJsonApiEvent_a_b"},
        {"a/b", "OnJsonApiEvent_a_b"},
        {"/x/qel-platform-config/a/b/c", "OnJsonApiEvent_x_qel-platform-config_a"},
        {"", "OnJsonApiEvent"},
    };
    for (const auto& c : cases) EXPECT_EQ(EventNameForPath(c.path), c.expected) << c.path;
}

TEST(PathPatternMatches, StarIsOneSegment) {
    const struct {
        const char* pattern;
        const char* uri;
        bool matches;
    } cases[] = {
        {"/p/v1/n/*", "/p/v1/n/42", true},
        {"/p/v1/n/*", "/p/v1/n/", false},
        {"/p/v1/n/*", "/p/v1/n/42/x", false},
        {"/a/*/c", "/a//c", true},
        {"/a/*/c", "/a/bb/c", true},
        {"/a/*/c", "/a/bb/d", false},
        {"/a/*x", "/a/bx", false},  // a literal other than "/" cannot follow a star
        {"/a/b", "/a/b", true},
        {"/a/b", "/a/bc", false},
        {"", "", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PathPatternMatches(c.pattern, c.uri), c.matches) << c.pattern << " ~ " << c.uri;
    }
    EXPECT_FALSE(PathPatternMatches("/a/*", std::string_view("/a//", 3))) << "nothing past the uri's end is read";
}

PluginApiVersion Version(uint32_t major, uint32_t minor, uint32_t patch) { return {major, minor, patch, {}, {}}; }

TEST(PluginApiVersion, HostMustShareMajorAndNotBeOlder) {
    const PluginApiVersion own = Version(18, 0, 0);
    for (const auto& accepted : {Version(18, 0, 0), Version(18, 3, 1), Version(18, 0, 7)}) {
        EXPECT_TRUE(IsCompatibleHost(own, accepted)) << VersionText(accepted);
    }
    for (const auto& refused : {Version(17, 9, 9), Version(19, 0, 0)}) {
        EXPECT_FALSE(IsCompatibleHost(own, refused)) << VersionText(refused);
    }
    const PluginApiVersion later = Version(18, 2, 5);
    EXPECT_FALSE(IsCompatibleHost(later, Version(18, 2, 4)));
    EXPECT_TRUE(IsCompatibleHost(later, Version(18, 2, 5)));
    EXPECT_TRUE(IsCompatibleHost(later, Version(18, 3, 0)));
    EXPECT_FALSE(IsCompatibleHost(later, Version(18, 1, 9)));
}

TEST(PluginApiVersion, TextAddsPrereleaseAndBuild) {
    EXPECT_EQ(VersionText({18, 0, 0, {}, {}}), "18.0.0");
    EXPECT_EQ(VersionText({1, 2, 3, "rc.1", {}}), "1.2.3-rc.1");
    EXPECT_EQ(VersionText({1, 2, 3, "rc.1", "abc"}), "1.2.3-rc.1+abc");
    EXPECT_EQ(VersionText({1, 2, 3, {}, "abc"}), "1.2.3+abc");
    EXPECT_EQ(VersionText({4294967295u, 0, 0, {}, {}}), "4294967295.0.0");
    // What a plug-in reports before any host loaded it.
    EXPECT_EQ(VersionText(PluginApiVersion{}), "0.0.0");
}

TEST(PluginName, PrefixByTypeAndAnErrorForUnknownTypes) {
    Logger::AddReference();
    Testing::RecordingLogTarget recording;
    recording.Configure({kLogOkay, 0, 0, "#L|#M"});
    EXPECT_EQ(GetFullNameFromShortNameAndType("qel-featured-modes", {"backend", ""}).fullName,
              "dmk-be-qel-featured-modes");
    EXPECT_EQ(GetFullNameFromShortNameAndType("x", {"frontend", "q"}).fullName, "dmk-fe-x");
    EXPECT_TRUE(recording.Lines().empty());
    const PluginName odd = GetFullNameFromShortNameAndType("x", {"frontendx", ""});
    EXPECT_EQ(odd.fullName, "dmk-xx-x");
    EXPECT_EQ(odd.type, "frontendx");
    ASSERT_EQ(recording.Lines().size(), 1u);
    EXPECT_EQ(recording.Lines()[0],
              " ERROR|            Plugin Manager| GetFullNameFromShortNameAndType(\"x\", \"frontendx\") called with an "
              "unknown type\n");
    recording.Detach();
    Logger::ReleaseReference();
}

TEST(FailureReport, GivenPartsOnly) {
    EXPECT_EQ(FailureReportText({{}, {}, {}, "ALE-EECF0606", "it broke"}),
              "Assertion failed!\n\nExpression: ALE-EECF0606\n\nDescription: it broke");
    EXPECT_EQ(FailureReportText({"a.cpp", -3, "F", "x > 0", "d"}),
              "Assertion failed!\n\nFile: a.cpp\nLine: -3\n\nFunction: F\n\nExpression: x > 0\n\nDescription: d");

    // Logged in group DBG alone (every other one is suppressed here), then
    // the process aborts. "fast": see the loading death test.
    GTEST_FLAG_SET(death_test_style, "fast");
#if defined(_WIN32)
    const auto aborted = ::testing::ExitedWithCode(3);
#else
    const auto aborted = ::testing::KilledBySignal(SIGABRT);
#endif
    EXPECT_EXIT(
        {
            Logger& logger = Logger::Instance();
            logger.Attach(&logger.StdErrTarget());
            logger.SetSuppressedGroups(~kLogGroupDBG);
            ReportFailureAndAbort({{}, {}, {}, "ALE-X", "reported"});
        },
        aborted, "Expression: ALE-X");
}

TEST(TimeArithmetic, ConversionsSaturate) {
    constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
    EXPECT_EQ(SecondsToNanoseconds(1.5), 1500000000u);
    EXPECT_EQ(SecondsToNanoseconds(0.0), 0u);
    EXPECT_EQ(SecondsToNanoseconds(-2.0), 0u);
    EXPECT_EQ(SecondsToNanoseconds(std::numeric_limits<double>::quiet_NaN()), 0u);
    EXPECT_EQ(SecondsToNanoseconds(std::numeric_limits<double>::infinity()), kMax);
    // The longest save delay a host configuration can ask for: 2^32-1 minutes.
    EXPECT_EQ(SecondsToNanoseconds(4294967295.0 * 60.0), kMax);
    EXPECT_EQ(SaturatingAdd(kMax - 1, 5), kMax);
    EXPECT_EQ(SaturatingAdd(2, 3), 5u);
    EXPECT_EQ(DelaySeconds(100, 200), 0.0);
    EXPECT_EQ(DelaySeconds(200, 200), 0.0);
    EXPECT_DOUBLE_EQ(DelaySeconds(2500000000u, 500000000u), 2.0);
}

TEST(RequestError, MessageAndNamedFields) {
    RequestError error(404, "Error response for {method} {url}: {error}", "GET", "/a", "Not found");
    EXPECT_EQ(error.Code(), 404);
    EXPECT_EQ(error.Message(), "Error response for GET /a: Not found");
    for (const auto& [name, text] : {std::pair{"method_str", "GET"}, {"url_str", "/a"}, {"error_str", "Not found"}}) {
        ASSERT_NE(error.FindField(name), nullptr) << name;
        EXPECT_EQ(error.FindField(name)->text, text);
    }
    ASSERT_NE(error.FindField("errorCode_int"), nullptr);
    EXPECT_EQ(error.FindField("errorCode_int")->integer, 404);
    error.SetCode(500);
    EXPECT_EQ(error.FindField("errorCode_int")->integer, 500) << "replaced, not added";
    EXPECT_EQ(error.Fields().size(), 4u);
    RequestError quiet(0, "x {method}", "GET", "", "");
    EXPECT_EQ(quiet.FindField("errorCode_int"), nullptr) << "a zero code is no field";

    // Of parameters that fail to convert, the first failure is the one told.
    RequestParameters parameters;
    parameters.Fail("first");
    parameters.Fail("second");
    EXPECT_TRUE(parameters.Failed());
    EXPECT_EQ(parameters.Error(), "first");

    // Parameters the direct writing declines (keys that are one up to a NUL)
    // go through a value: one entry, as that value writes it.
    RequestParameters merged;
    const std::map<std::string, int32_t> keys = {{std::string("a\0b", 3), 1}, {"a", 2}};
    ASSERT_TRUE(RequestDetail::AddConverted(merged, keys, nullptr));
    ASSERT_EQ(merged.Count(), 1u);
    BindingResult value;
    NativeToValue(value, keys, nullptr);
    BindingFlatValue expected{};
    ASSERT_TRUE(FlatFromValue(value.value, nullptr, &expected));
    EXPECT_TRUE(FlatValuesEqual(merged.Entries()[0].value, expected));
    ReleaseFlatValue(&expected);
}

// A registered type as "#IDENTIFIER" and its enumerators (by number) or
// members (in order, with their types).
std::string TypeText(const BindingTypeDescription& type) {
    char identifier[16];
    std::snprintf(identifier, sizeof(identifier), "#%08X", type.identifier);
    std::string text = identifier;
    std::vector<const BindingEnumeratorDescription*> enumerators;
    for (const auto& [name, enumerator] : type.enumerators) enumerators.push_back(&enumerator);
    std::sort(enumerators.begin(), enumerators.end(), [](auto* a, auto* b) { return a->number < b->number; });
    for (const auto* enumerator : enumerators) text += " " + enumerator->name + "=" + std::to_string(enumerator->number);
    for (const BindingFieldDescription& member : type.members) {
        text += " " + member.name + ":" + NativeTypeName(member.typeRef).type;
    }
    return text;
}

TEST(RuntimeTypes, IdentifiersMembersAndEvents) {
    TypeRegistry registry;
    RegisterRuntimeTypes(registry);
    const struct {
        const char* name;
        const char* text;
    } types[] = {
        {"PluginManagerState", "#F4E3B901 NotReady=0 PluginsInitialized=1"},
        {"PluginManagerResource", "#FA58397C state:PluginManagerState"},
        {"PluginResourceEventType", "#DC24D2AD Create=0 Update=1 Delete=2"},
        {"PluginResourceEvent", "#A54F35FD uri:string eventType:PluginResourceEventType data:object"},
        {"PluginLcdsEvent", "#739F2EF4 clientId:string subtopic:string typeName:string body:object"},
        {"PluginLcdsResponse", "#F4476A4F typeName:string body:object"},
        {"PluginServiceProxyResponse",
         "#2C5E7588 uuid:string serviceName:string methodName:string payload:string status:string error:string"},
    };
    for (const auto& type : types) {
        const BindingTypeDescription* found = registry.FindByName(type.name);
        ASSERT_NE(found, nullptr) << type.name;
        EXPECT_EQ(TypeText(*found), type.text);
    }
    const struct {
        const char* name;
        const char* payload;
        const char* description;
    } events[] = {
        {"OnJsonApiEvent", "PluginResourceEvent", "Fired when a resource is changed."},
        {"OnLcdsEvent", "PluginLcdsEvent", "Fired when a message is received over the LCDS connection."},
        {"OnServiceProxyUuidEvent", "PluginServiceProxyResponse",
         "Fired when a uuid-based service proxy message is received."},
        {"OnServiceProxyMethodEvent", "PluginServiceProxyResponse",
         "Fired when a method-based service proxy message is received."},
        {"OnServiceProxyAsyncEvent", "PluginServiceProxyResponse",
         "Fired when an async service proxy message is received."},
    };
    for (const auto& event : events) {
        const BindingEventDescription* found = registry.FindEvent(event.name);
        ASSERT_NE(found, nullptr) << event.name;
        ASSERT_NE(found->payload, nullptr) << event.name;
        EXPECT_EQ(found->payload->name, event.payload);
        EXPECT_EQ(found->description, event.description);
        EXPECT_EQ(found->nameSpace, "vclient") << event.name;
    }
    EXPECT_EQ(registry.Events().size(), std::size(events));
}

// A host table that writes down every call with its arguments, marked "!"
// when it did not come with this very table.
std::vector<std::string> g_hostCalls;
extern const HostApi kRecordingHost;

void Record(const HostApi* api, const std::string& call) {
    g_hostCalls.push_back((api == &kRecordingHost ? "" : "!") + call);
}

void VORN_HOST_CALL NoEvent(const HostEventRecord*) {}
void VORN_HOST_CALL NoTask(uintptr_t) {}

std::string Words(std::initializer_list<uintptr_t> words) {
    std::string text;
    for (uintptr_t word : words) text += " " + std::to_string(word);
    return text;
}

const HostApi kRecordingHost{
    [](const HostApi* api, HostResponse*, const HostRequest* request) {
        Record(api, std::string("0 ") + request->path + Words({request->method, request->context}));
    },
    [](const HostApi* api, uintptr_t a, uintptr_t b) { Record(api, "1" + Words({a, b})); },
    [](const HostApi* api, uintptr_t a) { Record(api, "2" + Words({a})); },
    [](const HostApi* api, const char* name, uintptr_t context, HostEventFunction function, uintptr_t user,
       uint32_t kind) {
        Record(api, std::string("3 ") + name + Words({context, function == &NoEvent, user, kind}));
    },
    [](const HostApi* api, const char* name, uintptr_t context) { Record(api, std::string("4 ") + name + Words({context})); },
    [](const HostApi* api, const char* name, HostTaskFunction function, uintptr_t user, double delay, uint32_t zero) {
        Record(api, std::string("5 ") + name + Words({function == &NoTask, user, zero}) + " " + std::to_string(delay));
    },
    [](const HostApi* api) { Record(api, "6"); },
    [](const HostApi* api, const char* label, uint32_t zero) { Record(api, std::string("7 ") + label + Words({zero})); },
    [](const HostApi* api) { Record(api, "8"); },
    [](const HostApi*, int32_t, const char*) {},
};

class QuietPlugin : public PluginBase {
public:
    int32_t Half(int32_t n) { return n / 2; }
};

TEST(PluginExpose, AFunctionThatCannotBeExposedIsLoggedAndLeftOut) {
    QuietPlugin plugin;
    Testing::RecordingLogTarget recording;
    recording.Configure({kLogOkay, 0, 0, "#L|#M"});
    EXPECT_FALSE(plugin.Expose({.name = "Half"}, &QuietPlugin::Half));
    EXPECT_EQ(recording.Lines(), std::vector<std::string>{" ERROR|Function 'Half' was not exposed. It takes 1 "
                                                          "arguments but 0 are described.\n"});
    EXPECT_TRUE(plugin.Expose({.name = "Half", .arguments = {{.name = "n"}}}, &QuietPlugin::Half));
    EXPECT_EQ(recording.Lines().size(), 1u);
    recording.Detach();
}

TEST(PluginHostCalls, ReachTheHostUnchangedAndNothingWithoutOne) {
    const PluginApiVersion own = RuntimeApiVersion();
    PluginHostRecord record{own.major, own.minor, own.patch, nullptr, nullptr, nullptr, nullptr};
    ASSERT_TRUE(LoadPlugin(new QuietPlugin(), &record, "calls-probe"));
    PluginBase& plugin = *static_cast<PluginBase*>(record.plugin);
    auto callEveryEntry = [&plugin] {
        RequestResult<void> sent = plugin.SendRequest(RequestMethod::Put, "/p");
        plugin.HostCall1(1, 2);
        plugin.HostCall2(3);
        plugin.HostSubscribe("e", 4, &NoEvent, 5, 1);
        plugin.HostUnsubscribe("e", 6);
        plugin.HostSchedule("t", &NoTask, 7, 1.5, 0);
        plugin.HostYield();
        plugin.HostBeginWait("w", 0);
        plugin.HostEndWait();
        return sent;
    };
    // Before start, and with a host that offers no entries, a request finds
    // no host and the other calls do nothing.
    static const HostApi empty{};
    static const PluginStartRecord emptyHost{&empty, 8};
    for (bool started : {false, true}) {
        if (started) {
            ASSERT_TRUE(record.callbacks->start(record.plugin, &emptyHost));
            Log(kLogAlways, 0, 0, "to a host that takes no lines");
        }
        const RequestResult<void> unanswered = callEveryEntry();
        ASSERT_FALSE(unanswered.Ok());
        EXPECT_EQ(unanswered.Error().Code(), 503);
        EXPECT_EQ(unanswered.Error().Message(), "Error response for PUT /p: The host is not available");
    }

    static const PluginStartRecord recordingHost{&kRecordingHost, 9};
    ASSERT_TRUE(record.callbacks->start(record.plugin, &recordingHost));
    g_hostCalls.clear();
    EXPECT_TRUE(callEveryEntry().Ok());
    EXPECT_EQ(g_hostCalls, (std::vector<std::string>{"0 /p 7 9", "1 1 2", "2 3", "3 e 4 1 5 1", "4 e 6",
                                                     "5 t 1 7 0 1.500000", "6", "7 w 0", "8"}));
    // Callbacks without their plug-in or record do nothing.
    EXPECT_FALSE(record.callbacks->start(nullptr, &recordingHost));
    EXPECT_FALSE(record.callbacks->start(record.plugin, nullptr));
    record.callbacks->memoryStatistics(nullptr, nullptr);
    record.callbacks->stop(nullptr);
    record.callbacks->stop(record.plugin);
}

// The resource and service-proxy event functions share the plug-in's event
// table; each serves only its own kind of entry, so a host calling the wrong
// one for a name gets nothing done and nothing logged.
TEST(PluginEvents, EachEventFunctionServesOnlyItsOwnKind) {
    const PluginApiVersion own = RuntimeApiVersion();
    PluginHostRecord record{own.major, own.minor, own.patch, nullptr, nullptr, nullptr, nullptr};
    ASSERT_TRUE(LoadPlugin(new QuietPlugin(), &record, "events-probe"));
    static const PluginStartRecord recordingHost{&kRecordingHost, 9};
    ASSERT_TRUE(record.callbacks->start(record.plugin, &recordingHost));
    static_cast<PluginBase*>(record.plugin)->Subscribe("/things/v1/box");
    Testing::RecordingLogTarget recording;
    recording.Configure({kLogOkay, 0, 0, "#L|#M"});
    HostEventRecord event;
    std::memset(static_cast<void*>(&event), 0, sizeof(event));
    event.user = reinterpret_cast<uintptr_t>(record.plugin);
    event.eventName = "OnServiceProxyUuidEvent";
    PluginRuntime::ResourceEventFunction(&event);
    event.eventName = "OnJsonApiEvent_things_v1_box";
    PluginRuntime::ServiceProxyEventFunction(&event);
    EXPECT_EQ(recording.Lines(), std::vector<std::string>{});
    // Called as its own kind, the empty payload is refused with a line.
    PluginRuntime::ResourceEventFunction(&event);
    EXPECT_EQ(recording.Lines().size(), 1u);
    recording.Detach();
    record.callbacks->stop(record.plugin);
}

}  // namespace
}  // namespace Vorn

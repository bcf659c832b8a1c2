// The runtime's rules that need no host: event names, path patterns, the
// version rule, plug-in names, failure reports, time arithmetic and request
// errors.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "logging/logger.h"
#include "plugin/failure_report.h"
#include "plugin/plugin_api_version.h"
#include "plugin/plugin_name.h"
#include "plugin/request_result.h"
#include "plugin/resource_events.h"
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
    ASSERT_NE(error.FindField("url_str"), nullptr);
    EXPECT_EQ(error.FindField("url_str")->text, "/a");
    ASSERT_NE(error.FindField("errorCode_int"), nullptr);
    EXPECT_EQ(error.FindField("errorCode_int")->integer, 404);
    RequestError quiet(0, "x {method}", "GET", "", "");
    EXPECT_EQ(quiet.FindField("errorCode_int"), nullptr) << "a zero code is no field";
}

}  // namespace
}  // namespace Vorn

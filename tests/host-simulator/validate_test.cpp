// The validator against the good plug-ins and against plug-ins broken in one
// way each: every fault must be reported by the check it belongs to, and no
// other check may fail because of it.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "formats/json_reader.h"
#include "host-simulator/validator.h"
#include "host_program.h"

namespace Vorn::HostSimulator {
namespace {

using Testing::RunHostProgram;

const std::vector<std::string> kCheckOrder = {"export", "record", "version", "start", "events",
                                              "functions", "reentry", "stop", "memory"};

// The hanging plug-in's checks end at a short limit, which bounds how long it
// holds the suite up (loading it alone takes far less, under emulation too);
// every other check gets room to spare on a loaded machine.
constexpr double kHangingLimit = 5;
constexpr double kRoomyLimit = 60;

std::vector<CheckResult> ValidateLibrary(const char* path, bool inProcess = false) {
    ValidateOptions options;
    options.plugin = path;
    options.inProcess = inProcess;
    options.timeLimitSeconds = std::string_view(path) == VORN_HANGING_PLUGIN_PATH ? kHangingLimit : kRoomyLimit;
    return Validate(options);
}

// "record FAIL: <reason> | ...": what a failed expectation shows.
std::string Summary(const std::vector<CheckResult>& results) {
    std::string text;
    for (const CheckResult& result : results) {
        text += result.name + " " + CheckStatusText(result.status) + ": ";
        for (const std::string& message : result.messages) text += message + " / ";
        text += "\n";
    }
    return text;
}

std::vector<std::string> Names(const std::vector<CheckResult>& results) {
    std::vector<std::string> names;
    for (const CheckResult& result : results) names.push_back(result.name);
    return names;
}

TEST(Validate, GoodPluginsPassEveryCheck) {
    for (const char* path : {VORN_TEST_PLUGIN_PATH, VORN_FEATURED_MODES_PATH, VORN_ECHO_PLUGIN_PATH}) {
        const std::vector<CheckResult> results = ValidateLibrary(path);
        EXPECT_EQ(Names(results), kCheckOrder) << path;
        for (const CheckResult& result : results) {
            EXPECT_EQ(result.status, CheckStatus::Pass) << path << "\n" << Summary(results);
            ASSERT_FALSE(result.messages.empty());
            EXPECT_FALSE(result.messages.front().empty()) << "every check gives its reason";
        }
    }
}

TEST(Validate, EachBrokenPluginFailsExactlyItsOwnCheck) {
    // A crash on delivery fails both checks that deliver events.
    const struct {
        const char* fault;
        const char* path;
        std::set<std::string> checks;
        std::vector<std::string> reasonParts;
    } cases[] = {
        {"a second export", VORN_SECOND_EXPORT_PLUGIN_PATH, {"export"},
         {"2 exports named load_*", "load_vorn_second_export_plugin", "load_second_export_plugin"}},
        {"an API table whose type count is one short", VORN_WRONG_RECORD_PLUGIN_PATH, {"record"},
         {"types: the last of ", " records links to another (the list is longer than the count)"}},
        {"a block kept on every event", VORN_LEAKING_PLUGIN_PATH, {"events"},
         {"keeps ", " bytes more after ", " deliveries of hostile payloads"}},
        {"a null write in an event handler", VORN_CRASHING_PLUGIN_PATH, {"events", "reentry"},
         {"while delivering ", "OnJsonApiEvent_crashing_v1_things"}},
        {"a start that never returns", VORN_HANGING_PLUGIN_PATH, {"start"}, {"did not finish within 5 s while starting"}},
    };
    for (const auto& c : cases) {
        const std::vector<CheckResult> results = ValidateLibrary(c.path);
        EXPECT_EQ(Names(results), kCheckOrder) << c.fault;
        for (const CheckResult& result : results) {
            if (c.checks.count(result.name) == 0) {
                EXPECT_NE(result.status, CheckStatus::Fail) << c.fault << "\n" << Summary(results);
                continue;
            }
            EXPECT_EQ(result.status, CheckStatus::Fail) << c.fault << "\n" << Summary(results);
            ASSERT_FALSE(result.messages.empty()) << c.fault;
            for (const std::string& part : c.reasonParts) {
                EXPECT_NE(result.messages.front().find(part), std::string::npos)
                    << c.fault << ": '" << part << "' not in '" << result.messages.front() << "'";
            }
        }
    }
}

TEST(Validate, WhatCannotRunForAnotherCheckIsNotRunNotFailed) {
    const std::vector<CheckResult> hanging = ValidateLibrary(VORN_HANGING_PLUGIN_PATH);
    ASSERT_EQ(hanging.size(), kCheckOrder.size());
    for (std::size_t i = 4; i < hanging.size(); ++i) {
        EXPECT_EQ(hanging[i].status, CheckStatus::Warn) << hanging[i].name;
        EXPECT_EQ(hanging[i].messages, std::vector<std::string>{"not run: start did not succeed"}) << hanging[i].name;
    }
    const std::vector<CheckResult> second = ValidateLibrary(VORN_SECOND_EXPORT_PLUGIN_PATH);
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(second[0].messages.back(), "the other checks call load_vorn_second_export_plugin")
        << "the entry named after the file";
}

TEST(Validate, InProcessRunsEverythingButTheRefusals) {
    const std::vector<CheckResult> results = ValidateLibrary(VORN_TEST_PLUGIN_PATH, true);
    ASSERT_EQ(Names(results), kCheckOrder);
    for (const CheckResult& result : results) {
        if (result.name == "version") {
            EXPECT_EQ(result.status, CheckStatus::Warn);
            EXPECT_EQ(result.messages.front(),
                      "accepts 18.0.0, 18.1.0, 18.0.1; refusals of 19.0.0, 17.4294967295.4294967295 not tried "
                      "in-process (a refusal ends the process)");
        } else {
            EXPECT_EQ(result.status, CheckStatus::Pass) << Summary(results);
        }
    }
}

TEST(Validate, ALibraryPathWithSpacesReachesEveryCheck) {
    // Where a child is a new run of the program (Windows), the path travels on
    // its command line and must arrive there whole.
    const std::filesystem::path folder = std::filesystem::path(::testing::TempDir()) / "plug-ins with spaces";
    std::filesystem::create_directories(folder);
    const std::filesystem::path copy = folder / std::filesystem::path(VORN_TEST_PLUGIN_PATH).filename();
    std::filesystem::copy_file(VORN_TEST_PLUGIN_PATH, copy, std::filesystem::copy_options::overwrite_existing);
    const std::string path = copy.string();
    const std::vector<CheckResult> results = ValidateLibrary(path.c_str());
    EXPECT_EQ(Names(results), kCheckOrder);
    for (const CheckResult& result : results) EXPECT_EQ(result.status, CheckStatus::Pass) << Summary(results);
    std::filesystem::remove_all(folder);
}

TEST(ValidateProgram, ExitCodesSayPassFailOrUsage) {
    const Testing::HostRun good = RunHostProgram(std::string("validate --plugin ") + VORN_TEST_PLUGIN_PATH);
    EXPECT_EQ(good.status, 0) << good.out << good.err;
    EXPECT_NE(good.out.find("\n9 checks: 9 passed, 0 failed, 0 warnings\n"), std::string::npos) << good.out;

    const Testing::HostRun leaking = RunHostProgram(std::string("validate --plugin ") + VORN_LEAKING_PLUGIN_PATH);
    EXPECT_EQ(leaking.status, 1) << leaking.out << leaking.err;
    EXPECT_NE(leaking.out.find("\nFAIL  events   keeps "), std::string::npos) << leaking.out;

    const Testing::HostRun missing = RunHostProgram("validate --plugin /no/such/plugin.so");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "vorn-host: no plug-in library at /no/such/plugin.so\n");
    EXPECT_EQ(RunHostProgram("validate --time-limit soon").status, 2);
    EXPECT_EQ(RunHostProgram(std::string("validate --plugin ") + VORN_TEST_PLUGIN_PATH + " extra").status, 2);
}

TEST(ValidateProgram, JsonReportHasAnObjectPerCheck) {
    const Testing::HostRun run = RunHostProgram(std::string("validate --json --plugin ") + VORN_CRASHING_PLUGIN_PATH);
    EXPECT_EQ(run.status, 1) << run.err;
    BindingResult report = DeserializeJson(run.out);
    ASSERT_TRUE(report.ok) << report.Message() << "\n" << run.out;
    EXPECT_EQ(report.value.GetMember("command").AsString(), "validate");
    EXPECT_EQ(report.value.GetMember("plugin").AsString(), VORN_CRASHING_PLUGIN_PATH);
    const BindingProperty& results = report.value.GetMember("results");
    ASSERT_EQ(results.Count(), kCheckOrder.size());
    for (std::size_t i = 0; i < kCheckOrder.size(); ++i) {
        const BindingProperty& result = results.GetElement(i);
        EXPECT_EQ(result.GetMember("name").AsString(), kCheckOrder[i]);
        const bool delivers = kCheckOrder[i] == "events" || kCheckOrder[i] == "reentry";
        EXPECT_EQ(result.GetMember("status").AsString(), delivers ? "failed" : "passed") << kCheckOrder[i];
        EXPECT_EQ(result.GetMember("seconds").Kind(), BindingKind::Float);
        EXPECT_GE(result.GetMember("messages").Count(), 1u);
    }
}

}  // namespace
}  // namespace Vorn::HostSimulator

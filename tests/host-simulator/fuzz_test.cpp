// vorn-host fuzz: it finds the broken plug-ins within a bounded number of
// runs and writes scenarios that `run` replays to the same failure, finds
// nothing in the good ones, and its parts (shrinking, judging, sequences)
// hold their rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "file_text.h"
#include "formats/json_reader.h"
#include "formats/json_writer.h"
#include "host-simulator/fuzz_sequence.h"
#include "host-simulator/plugin_fuzzer.h"
#include "host-simulator/scenario_runner.h"
#include "host-simulator/step_shrinker.h"
#include "host_program.h"

namespace Vorn::HostSimulator {
namespace {

using Testing::RunHostProgram;

std::string Folder(const std::string& name) {
    const std::filesystem::path folder = std::filesystem::path(::testing::TempDir()) / name;
    std::filesystem::remove_all(folder);
    return folder.string();
}

// The one scenario the fuzzer wrote into the folder.
std::string OnlyFile(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) files.push_back(entry.path().string());
    EXPECT_EQ(files.size(), 1u) << folder;
    return files.empty() ? std::string() : files.front();
}

TEST(Fuzz, FindsTheBrokenPluginsAndWritesScenariosThatReplayTheFailure) {
    const struct {
        const char* path;
        const char* file;  // the written scenario's name starts so
        const char* found;
    } cases[] = {
        // A sanitizer build ends the process at its report of the null write.
        {VORN_CRASHING_PLUGIN_PATH, "crash-", "CRASH: the plug-in "},
        {VORN_LEAKING_PLUGIN_PATH, "leak-", "LEAK: "},
    };
    for (const auto& c : cases) {
        const std::string folder = Folder(std::string("fuzz-") + c.file);
        const Testing::HostRun fuzz =
            RunHostProgram("fuzz --plugin " + std::string(c.path) + " --seed 11 --runs 20 --out " + folder);
        EXPECT_EQ(fuzz.status, 1) << fuzz.out << fuzz.err;
        EXPECT_NE(fuzz.out.find(c.found), std::string::npos) << fuzz.out;
        EXPECT_NE(fuzz.out.find(", 1 finding (seed 11)"), std::string::npos) << fuzz.out;
        EXPECT_EQ(fuzz.out.find("did not fail the same way"), std::string::npos) << fuzz.out;
        const std::string file = OnlyFile(folder);
        ASSERT_NE(std::filesystem::path(file).filename().string().rfind(c.file, 0), std::string::npos) << file;

        // Shrunk to a start and the event (the leak's stop and check besides).
        const BindingResult written = DeserializeJson(Testing::ReadFileText(file).c_str());
        ASSERT_TRUE(written.ok) << file;
        EXPECT_LE(written.value.GetMember("steps").Count(), std::string(c.file) == "leak-" ? 4u : 2u)
            << Testing::ReadFileText(file);

        const Testing::HostRun replay = RunHostProgram("run " + file);
        if (std::string(c.file) == "crash-") {
            // Ended before any verdict: by the signal (-1, or 128 + 11 from
            // the shell), the exception's code on Windows, or a sanitizer's
            // report of the null write.
            EXPECT_NE(replay.status, 0) << replay.out << replay.err;
            EXPECT_EQ(replay.out.find("PASS"), std::string::npos) << replay.out;
            EXPECT_EQ(replay.out.find("FAIL"), std::string::npos) << replay.out;
        } else {
            // 1 for the failed check; a leak sanitizer ends the process with
            // its own report of the same block after that.
            EXPECT_NE(replay.status, 0) << replay.out << replay.err;
            EXPECT_NE(replay.out.find("FAIL  fuzz finding: leak"), std::string::npos) << replay.out;
            EXPECT_NE(replay.out.find("LEAK: "), std::string::npos) << replay.out;
        }
    }
}

TEST(Fuzz, TheSameSeedWritesTheSameScenario) {
    std::vector<std::string> texts;
    for (const char* name : {"fuzz-seed-a", "fuzz-seed-b"}) {
        const std::string folder = Folder(name);
        RunHostProgram("fuzz --plugin " + std::string(VORN_LEAKING_PLUGIN_PATH) + " --seed 23 --runs 5 --out " + folder);
        texts.push_back(Testing::ReadFileText(OnlyFile(folder)));
    }
    ASSERT_FALSE(texts[0].empty());
    EXPECT_EQ(texts[0], texts[1]);
}

TEST(Fuzz, GoodPluginsShowNothing) {
    for (const char* path : {VORN_FEATURED_MODES_PATH, VORN_ECHO_PLUGIN_PATH, VORN_TEST_PLUGIN_PATH}) {
        const std::string folder = Folder("fuzz-good");
        const Testing::HostRun fuzz = RunHostProgram("fuzz --plugin " + std::string(path) + " --seed 5 --time 3 --out " + folder);
        EXPECT_EQ(fuzz.status, 0) << path << "\n" << fuzz.out << fuzz.err;
        EXPECT_NE(fuzz.out.find(" 0 findings (seed 5)"), std::string::npos) << fuzz.out;
        EXPECT_EQ(fuzz.out.find("could not run"), std::string::npos) << fuzz.out;
        EXPECT_FALSE(std::filesystem::exists(folder)) << path;
    }
}

TEST(Fuzz, ShrinkingKeepsTheFewestStepsThatStillFail) {
    const struct {
        const char* what;
        std::size_t count;
        std::set<std::size_t> needed;  // fails while all of these are kept
        std::vector<std::size_t> kept;  // empty: any one step
    } cases[] = {
        {"two steps far apart", 20, {3, 17}, {3, 17}},
        {"the first alone", 9, {0}, {0}},
        {"the last alone", 9, {8}, {8}},
        {"neighbours", 16, {7, 8, 9}, {7, 8, 9}},
        {"every step", 5, {0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}},
        {"no step matters: one is left", 6, {}, {}},
    };
    for (const auto& c : cases) {
        std::size_t tries = 0;
        const std::vector<std::size_t> kept = ShrinkSteps(
            c.count,
            [&](const std::vector<std::size_t>& candidate) {
                ++tries;
                EXPECT_TRUE(std::is_sorted(candidate.begin(), candidate.end())) << c.what;
                const std::set<std::size_t> present(candidate.begin(), candidate.end());
                for (std::size_t index : c.needed) {
                    if (present.count(index) == 0) return false;
                }
                return true;
            },
            500);
        if (c.kept.empty()) {
            EXPECT_EQ(kept.size(), 1u) << c.what;
        } else {
            EXPECT_EQ(kept, c.kept) << c.what;
        }
        EXPECT_LE(tries, 4 * c.count) << c.what;
    }
    std::size_t tries = 0;
    const std::vector<std::size_t> kept = ShrinkSteps(
        40, [&](const std::vector<std::size_t>&) { return ++tries, false; }, 7);
    EXPECT_EQ(tries, 7u) << "stops at its bound";
    EXPECT_EQ(kept.size(), 40u) << "nothing could go: the whole is kept";
}

TEST(Fuzz, JudgesHowARunEnded) {
    auto finished = [](uint64_t stopped, std::vector<std::string> errors) {
        SweepRun run;
        run.child.end = ChildOutcome::End::Finished;
        run.outcome = "passed";
        run.measured = true;
        run.stopped = stopped;
        run.errorLines = std::move(errors);
        return run;
    };
    SweepRun crashed;
    crashed.child.end = ChildOutcome::End::Crashed;
    crashed.child.code = 11;
    SweepRun hung;
    hung.child.end = ChildOutcome::End::TimedOut;
    const struct {
        const char* what;
        SweepRun run;
        FuzzFailure::Kind kind;
    } cases[] = {
        {"a signal", crashed, FuzzFailure::Kind::Crash},
        {"the time limit", hung, FuzzFailure::Kind::Hang},
        {"at the baseline", finished(64, {}), FuzzFailure::Kind::None},
        {"a byte above it", finished(65, {}), FuzzFailure::Kind::Leak},
        {"the guard's line", finished(0, {"x| Delayed task failed: boom"}), FuzzFailure::Kind::Error},
        {"a plug-in's own ERROR line", finished(0, {"Failure in local save"}), FuzzFailure::Kind::None},
        {"failed without the guard's words", finished(0, {"Request failed: 500"}), FuzzFailure::Kind::None},
    };
    for (const auto& c : cases) {
        const FuzzFailure failure = JudgeRun(c.run, 64, 1);
        EXPECT_EQ(failure.kind, c.kind) << c.what;
        EXPECT_EQ(failure.key.empty(), c.kind == FuzzFailure::Kind::None) << c.what;
    }
    EXPECT_NE(JudgeRun(crashed, 0, 1).key, [&] {
        SweepRun other = crashed;
        other.child.code = 6;
        return JudgeRun(other, 0, 1).key;
    }()) << "another signal is another failure";
}

// What a written finding checks at its end makes `run` fail: a guard line
// anywhere in the run, not only in the last step's span.
TEST(Fuzz, WholeRunLogExpectationSeesEarlierSteps) {
    const std::string path = ::testing::TempDir() + "whole_run.yaml";
    for (const bool wholeRun : {false, true}) {
        {
            std::ofstream(path) << R"(steps:
  - start
  - update: {path: /test/v1/command, body: {action: throw}}
  - advance: 1s
  - expect-log: {level: ERROR, text: "Resource event function failed: ", count: 0, whole-run: )"
                                << (wholeRun ? "true" : "false") << "}\n";
        }
        Scenario scenario;
        ScenarioError error;
        ASSERT_TRUE(LoadScenario(path, scenario, error)) << error.Text();
        // The plug-in as the command line gives it: a scenario's path is read
        // relative to its folder unless absolute, and on Windows a path
        // without a drive is not.
        RunOptions options;
        options.plugin = VORN_TEST_PLUGIN_PATH;
        const ScenarioResult result = RunScenario(scenario, options);
        EXPECT_EQ(result.outcome, wholeRun ? Outcome::Failed : Outcome::Passed)
            << wholeRun << ": " << (result.messages.empty() ? "" : result.messages.front());
        ASSERT_EQ(result.errorLines.size(), 1u);
        EXPECT_TRUE(IsGuardLine(result.errorLines[0])) << result.errorLines[0];
    }
}

TEST(Fuzz, SequencesFollowTheSeed) {
    BindingResult description = DeserializeJson(R"({"types": [
        {"name": "ThingsV1", "kind": "structure", "tags": [], "members": [
            {"name": "id", "type": 6}, {"name": "name", "type": 12}]}],
        "events": [{"name": "OnJsonApiEvent", "payloadType": "PluginResourceEvent"}]})");
    ASSERT_TRUE(description.ok);
    const PayloadShapes shapes(description.value);
    FuzzTarget target;
    target.AddEvent("OnJsonApiEvent_things_v1_all", description.value);
    target.requests.emplace("GET", "/things/v1/all");
    auto text = [&](uint64_t seed, bool mutated) {
        SeededRandom random(seed);
        return SerializeJson(ScenarioDocument(GenerateSequence(target, shapes, mutated, random, 30), "n", "p"), nullptr);
    };
    EXPECT_EQ(text(1, true), text(1, true));
    EXPECT_NE(text(1, true), text(2, true));
    EXPECT_EQ(target.events.front().second, "PluginResourceEvent");
    EXPECT_EQ(PathOfEventName("OnJsonApiEvent_things_v1_all"), "/things/v1/all");
    EXPECT_EQ(PathOfEventName("OnServiceProxyUuidEvent"), "");
}

}  // namespace
}  // namespace Vorn::HostSimulator

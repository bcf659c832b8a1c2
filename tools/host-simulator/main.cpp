// vorn-host: runs plug-in libraries in a simulated host.
//
//   vorn-host run [--plugin PATH] [--json] [--junit FILE] [--html FILE]
//                 [--save-trace DIR | --compare-trace DIR] SCENARIO...
//   vorn-host run --fault-sweep [--plugin PATH] [--time-limit SECONDS] [--junit FILE] SCENARIO...
//   vorn-host run --allocation-sweep [--sample N] [--plugin PATH] [--time-limit SECONDS] [--junit FILE] SCENARIO...
//   vorn-host validate [--plugin PATH] [--json] [--in-process] [--time-limit SECONDS] [--junit FILE]
//   vorn-host describe [--plugin PATH] [--json] [--in-process]
//   vorn-host fuzz [--plugin PATH] [--time SECONDS] [--runs N] [--seed N] [--out DIR] [--time-limit SECONDS]
//                  [--junit FILE]
//
// Exit code 0 when every expectation held (every check passed, warnings
// allowed; the table was read whole; fuzzing found nothing), 1 when one
// failed, 2 for a usage or scenario-file error.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "formats/json_writer.h"
#include "host-simulator/command_line.h"
#include "host-simulator/describe.h"
#include "host-simulator/allocation_sweep.h"
#include "host-simulator/fault_sweep.h"
#include "host-simulator/html_report.h"
#include "host-simulator/isolated_host.h"
#include "host-simulator/junit_report.h"
#include "host-simulator/plugin_fuzzer.h"
#include "host-simulator/report.h"
#include "host-simulator/saved_trace.h"
#include "host-simulator/scenario_runner.h"
#include "host-simulator/validator.h"
#include "platform/process_info.h"
#include "platform/standard_streams.h"

namespace Vorn::HostSimulator {
namespace {

constexpr int kPassed = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char* const kUsageText =
    "usage: vorn-host run [--plugin PATH] [--json] [--junit FILE] [--html FILE]\n"
    "                     [--save-trace DIR | --compare-trace DIR] SCENARIO...\n"
    "       vorn-host run --fault-sweep [--plugin PATH] [--time-limit SECONDS] [--junit FILE] SCENARIO...\n"
    "       vorn-host run --allocation-sweep [--sample N] [--plugin PATH] [--time-limit SECONDS]\n"
    "                     [--junit FILE] SCENARIO...\n"
    "       vorn-host validate [--plugin PATH] [--json] [--in-process] [--time-limit SECONDS] [--junit FILE]\n"
    "       vorn-host describe [--plugin PATH] [--json] [--in-process]\n"
    "       vorn-host fuzz [--plugin PATH] [--time SECONDS] [--runs N] [--seed N] [--out DIR]\n"
    "                      [--time-limit SECONDS] [--junit FILE]\n"
    "\n"
    "  run           plays each scenario (a YAML or JSON file, or a folder of them)\n"
    "                against the plug-in library and prints what happens\n"
    "  --fault-sweep runs each scenario cleanly, then once per host interaction\n"
    "                (answer, stream read, delayed task) with a fault injected\n"
    "                there, each in a child process; fails on a crash, a hang or\n"
    "                memory kept after stop\n"
    "  --allocation-sweep runs each scenario cleanly, then once per allocation\n"
    "                of the plug-in with that allocation failing (at most N runs\n"
    "                per scenario with --sample N), each in a child process\n"
    "  validate      checks the plug-in library against the host boundary, each\n"
    "                check in a child process of its own\n"
    "  describe      prints what the plug-in's API description table says\n"
    "  fuzz          sends the plug-in random sequences of events, answers, clock\n"
    "                advances, stops and restarts, each in a child process; a\n"
    "                crash, hang, leak or ERROR line of the exception guard is\n"
    "                shrunk to its fewest steps and written as a scenario that\n"
    "                run replays\n"
    "  --time        seconds to fuzz for (default 60)\n"
    "  --runs        fuzz: at most N runs\n"
    "  --seed        fuzz: the seed of the sequences (default: from the clock);\n"
    "                the same seed gives the same sequences\n"
    "  --out         fuzz: the folder for the scenarios found (default\n"
    "                fuzz-findings)\n"
    "  --plugin      the plug-in library (default: the featured-modes library of\n"
    "                this build, or for run the scenario's own 'plugin')\n"
    "  --json        write a machine-readable report instead of the text\n"
    "  --junit       also write a JUnit XML report to FILE (run, the sweeps,\n"
    "                validate, fuzz)\n"
    "  --html        run: also write a page to FILE with each scenario's timeline\n"
    "  --save-trace  run: write each scenario's trace to DIR/<name>.trace, without\n"
    "                what differs from run to run\n"
    "  --compare-trace run: fail where a scenario's trace differs from the one\n"
    "                saved in DIR, printing the difference\n"
    "  --in-process  validate or describe in this process (for a debugger): a\n"
    "                crash or hang is then the tool's own\n"
    "  --time-limit  seconds each child process may take (default 10)\n"
    "\n"
    "Exit code: 0 every expectation held or check passed (warnings allowed),\n"
    "or fuzzing found nothing; 1 one failed or something was found; 2 usage or\n"
    "scenario error (a library that is not there).\n";

// The featured-modes library beside this program's build: <bin>/../lib.
std::string DefaultPlugin() {
    const std::filesystem::path executable(Platform::ExecutablePath());
    return (executable.parent_path().parent_path() / "lib" / VORN_DEFAULT_PLUGIN_FILE).string();
}

// Files as given; a folder stands for its .yaml, .yml and .json files in
// name order.
bool ExpandScenarios(const std::vector<std::string>& arguments, std::vector<std::string>& files) {
    for (const std::string& argument : arguments) {
        std::error_code error;
        if (!std::filesystem::is_directory(argument, error)) {
            files.push_back(argument);
            continue;
        }
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(argument, error)) {
            const std::string extension = entry.path().extension().string();
            if (extension == ".yaml" || extension == ".yml" || extension == ".json") found.push_back(entry.path().string());
        }
        std::sort(found.begin(), found.end());
        if (found.empty()) {
            std::fprintf(stderr, "vorn-host: %s holds no scenario files\n", argument.c_str());
            return false;
        }
        files.insert(files.end(), found.begin(), found.end());
    }
    return true;
}

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    if (file && file.flush()) return true;
    std::fprintf(stderr, "vorn-host: cannot write %s\n", path.c_str());
    return false;
}

// The JUnit report, when asked for; false after a message when it cannot be
// written.
bool WriteJunit(const CommandLine& command, const std::string& name, const std::vector<JunitSuite>& suites) {
    return command.junit.empty() || WriteText(command.junit, JunitXml(name, suites));
}

// Saves the scenario's trace or compares it with the saved one; false when
// it differs or cannot be read or written.
bool KeepOrCompareTrace(const CommandLine& command, const ScenarioResult& result, std::FILE* out) {
    const std::string trace = NormalisedTrace(result);
    if (!command.saveTrace.empty()) {
        return WriteText((std::filesystem::path(command.saveTrace) / TraceFileName(result.file)).string(), trace);
    }
    const std::string saved = (std::filesystem::path(command.compareTrace) / TraceFileName(result.file)).string();
    std::string before;
    if (!ReadWholeFile(saved, before)) {
        std::fprintf(out, "TRACE  no saved trace at %s\n\n", saved.c_str());
        return false;
    }
    const std::string diff = UnifiedDiff(saved, before, "this run", trace);
    if (diff.empty()) return true;
    std::fprintf(out, "TRACE  %s differs from %s:\n%s\n", result.name.c_str(), saved.c_str(), diff.c_str());
    return false;
}

int Run(const CommandLine& command) {
    std::vector<std::string> files;
    if (command.operands.empty()) {
        std::fputs(kUsageText, stderr);
        return kUsage;
    }
    if (!ExpandScenarios(command.operands, files)) return kUsage;
    const bool traces = !command.saveTrace.empty() || !command.compareTrace.empty();
    if (traces) {
        // A trace is kept under its scenario file's name alone.
        std::set<std::string> names;
        for (const std::string& file : files) {
            if (names.insert(TraceFileName(file)).second) continue;
            std::fprintf(stderr, "vorn-host: two scenario files would share the trace %s\n", TraceFileName(file).c_str());
            return kUsage;
        }
    }
    if (!command.saveTrace.empty() && !command.compareTrace.empty()) {
        std::fprintf(stderr, "vorn-host: --save-trace and --compare-trace go one at a time\n\n%s", kUsageText);
        return kUsage;
    }
    if ((command.faultSweep || command.allocationSweep) && (traces || !command.html.empty())) {
        std::fprintf(stderr, "vorn-host: the sweeps write no traces or pages\n\n%s", kUsageText);
        return kUsage;
    }
    std::vector<JunitSuite> suites;
    if (command.faultSweep || command.allocationSweep) {
        SweepOptions sweep;
        sweep.plugin = command.plugin;
        sweep.defaultPlugin = DefaultPlugin();
        sweep.timeLimitSeconds = command.timeLimitSeconds;
        sweep.inProcess = command.inProcess;
        sweep.sample = command.sample;
        sweep.junit = &suites;
        const SweepCounts counts = command.faultSweep ? SweepCounts(FaultSweep(files, sweep, stdout))
                                                      : SweepCounts(AllocationSweep(files, sweep, stdout));
        if (!WriteJunit(command, command.faultSweep ? "vorn-host run --fault-sweep" : "vorn-host run --allocation-sweep",
                        suites)) {
            return kUsage;
        }
        if (!counts.Clean()) return kFailed;
        return counts.errors != 0 ? kUsage : kPassed;
    }
    RunOptions options;
    options.plugin = command.plugin;
    options.defaultPlugin = DefaultPlugin();
    options.trace = command.json ? nullptr : stdout;
    const bool progress = command.json && Platform::StandardErrorIsTerminal();
    if (traces) {
        // The plug-in's random draws (delays with jitter) repeat, so that
        // virtual times do.
        char seed[32];
        if (!Platform::EnvironmentText("VORN_RANDOM_SEED", seed, sizeof(seed))) {
            Platform::SetEnvironmentText("VORN_RANDOM_SEED", "1");
        }
        std::error_code ignored;
        if (!command.saveTrace.empty()) std::filesystem::create_directories(command.saveTrace, ignored);
    }

    std::vector<ScenarioResult> results;
    int exitCode = kPassed;
    for (const std::string& file : files) {
        Scenario scenario;
        ScenarioError error;
        if (!LoadScenario(file, scenario, error)) {
            ScenarioResult result;
            result.file = file;
            result.name = file;
            result.outcome = Outcome::Error;
            result.messages.push_back(error.Text());
            std::fprintf(stderr, "vorn-host: %s\n", error.Text().c_str());
            results.push_back(result);
            suites.push_back(ScenarioSuite(result));
            exitCode = kUsage;
            continue;
        }
        ScenarioResult result = RunScenario(scenario, options);
        if (result.outcome == Outcome::Error) exitCode = kUsage;
        if (result.outcome == Outcome::Failed && exitCode == kPassed) exitCode = kFailed;
        if (traces && result.outcome != Outcome::Error && !KeepOrCompareTrace(command, result, command.json ? stderr : stdout) &&
            exitCode == kPassed) {
            exitCode = kFailed;
        }
        const char* verdict = result.outcome == Outcome::Passed ? "PASS" : result.outcome == Outcome::Failed ? "FAIL" : "ERROR";
        if (!command.json) {
            std::printf("%s  %s  (%zu steps, %.3f s)\n", verdict, result.name.c_str(), scenario.steps.size(), result.seconds);
            for (const std::string& message : result.messages) std::printf("      %s\n", message.c_str());
            std::printf("\n");
            std::fflush(stdout);
        } else if (progress) {
            std::fprintf(stderr, "%s  %s\n", verdict, result.name.c_str());
        }
        suites.push_back(ScenarioSuite(result));
        results.push_back(std::move(result));
    }
    if (!WriteJunit(command, "vorn-host run", suites)) return kUsage;
    if (!command.html.empty() && !WriteText(command.html, HtmlReport(results))) return kUsage;
    if (command.json) {
        std::fputs(ReportJson("run", results).c_str(), stdout);
        std::fputs("\n", stdout);
    } else if (results.size() > 1) {
        const auto passed = std::count_if(results.begin(), results.end(),
                                          [](const ScenarioResult& r) { return r.outcome == Outcome::Passed; });
        std::printf("%ld of %zu scenarios passed\n", static_cast<long>(passed), results.size());
    }
    return exitCode;
}

// The library named on the command line, else the default; empty after a
// message when there is no file there.
std::string PluginFile(const CommandLine& command) {
    const std::string plugin = command.plugin.empty() ? DefaultPlugin() : command.plugin;
    std::error_code error;
    if (std::filesystem::is_regular_file(plugin, error)) return plugin;
    std::fprintf(stderr, "vorn-host: no plug-in library at %s\n", plugin.c_str());
    return {};
}

// What validate and describe share; false after a message on a usage error.
template <typename Options>
bool TakeOptions(const CommandLine& command, Options& options) {
    if (!command.operands.empty()) {
        std::fprintf(stderr, "vorn-host: %s takes no operands\n\n%s", command.verb.c_str(), kUsageText);
        return false;
    }
    options.plugin = PluginFile(command);
    options.inProcess = command.inProcess;
    options.timeLimitSeconds = command.timeLimitSeconds;
    return !options.plugin.empty();
}

void PrintCheck(std::FILE* out, const CheckResult& result) {
    std::fprintf(out, "%s  %-8s %s  (%.3f s)\n", CheckStatusText(result.status), result.name.c_str(),
                 result.messages.empty() ? "" : result.messages.front().c_str(), result.seconds);
    for (std::size_t i = 1; i < result.messages.size(); ++i) std::fprintf(out, "                %s\n", result.messages[i].c_str());
    std::fflush(out);
}

int ValidateCommand(const CommandLine& command) {
    ValidateOptions options;
    if (!TakeOptions(command, options)) return kUsage;
    const bool progress = command.json && Platform::StandardErrorIsTerminal();
    if (!command.json) std::printf("validate %s\n\n", options.plugin.c_str());
    const std::vector<CheckResult> results = Validate(options, [&](const CheckResult& result) {
        if (!command.json) PrintCheck(stdout, result);
        if (progress) std::fprintf(stderr, "%s  %s\n", CheckStatusText(result.status), result.name.c_str());
    });
    int counts[3] = {0, 0, 0};
    for (const CheckResult& result : results) ++counts[static_cast<int>(result.status)];
    if (!WriteJunit(command, "vorn-host validate", {CheckSuite(options.plugin, results)})) return kUsage;
    if (command.json) {
        std::fputs(CheckReportJson(options.plugin, results).c_str(), stdout);
        std::fputs("\n", stdout);
    } else {
        const int warnings = counts[static_cast<int>(CheckStatus::Warn)];
        std::printf("\n%zu checks: %d passed, %d failed, %d %s\n", results.size(),
                    counts[static_cast<int>(CheckStatus::Pass)], counts[static_cast<int>(CheckStatus::Fail)], warnings,
                    warnings == 1 ? "warning" : "warnings");
    }
    return counts[static_cast<int>(CheckStatus::Fail)] != 0 ? kFailed : kPassed;
}

int DescribeCommand(const CommandLine& command) {
    DescribeOptions options;
    if (!TakeOptions(command, options)) return kUsage;
    BindingProperty description;
    std::string error;
    if (!DescribePlugin(options, description, error)) {
        std::fprintf(stderr, "vorn-host: %s\n", error.c_str());
        return kFailed;
    }
    const std::string text = command.json ? SerializeJson(description, nullptr, JsonWriteOptions::Pretty()) + "\n"
                                          : DescriptionText(description);
    std::fputs(text.c_str(), stdout);
    return description.GetMember("problems").Count() != 0 ? kFailed : kPassed;
}

// A case for the fuzzing as a whole and one failed case per finding.
JunitSuite FuzzSuite(const FuzzOptions& options, const FuzzTotals& totals) {
    JunitSuite suite;
    suite.name = "fuzz " + options.plugin;
    JunitCase& whole = suite.cases.emplace_back();
    whole.name = std::to_string(totals.runs) + " runs, seed " + std::to_string(options.seed);
    whole.classname = "fuzz";
    if (totals.error) {
        whole.status = JunitCase::Status::Error;
        whole.message = whole.details = "the plug-in could not be fuzzed";
    }
    for (std::size_t i = 0; i < totals.reports.size(); ++i) {
        JunitCase& finding = suite.cases.emplace_back();
        finding.name = "finding " + std::to_string(i + 1);
        finding.classname = "fuzz";
        finding.status = JunitCase::Status::Failed;
        finding.message = totals.reports[i];
        finding.details = totals.reports[i];
        suite.out += totals.reports[i] + "\n";
    }
    for (const std::string& file : totals.files) suite.out += "written: " + file + "\n";
    return suite;
}

int FuzzCommand(const CommandLine& command) {
    if (!command.operands.empty()) {
        std::fprintf(stderr, "vorn-host: fuzz takes no operands\n\n%s", kUsageText);
        return kUsage;
    }
    FuzzOptions options;
    options.plugin = PluginFile(command);
    if (options.plugin.empty()) return kUsage;
    options.seconds = command.fuzzSeconds;
    options.runs = command.runs;
    options.seed = command.seed ? *command.seed
                                : static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    options.outDir = command.out;
    options.timeLimitSeconds = command.timeLimitSeconds;
    const FuzzTotals totals = Fuzz(options, stdout);
    if (!WriteJunit(command, "vorn-host fuzz", {FuzzSuite(options, totals)})) return kUsage;
    if (totals.findings != 0) return kFailed;
    return totals.error ? kUsage : kPassed;
}

}  // namespace
}  // namespace Vorn::HostSimulator

int main(int argc, char** argv) {
    using namespace Vorn::HostSimulator;
    RunChildWorkIfAsked(argc, argv);
    Vorn::Platform::UseBinaryStandardStreams();
    CommandLine command;
    std::string error;
    if (!ParseCommandLine(argc, argv, command, error)) {
        std::fprintf(stderr, "vorn-host: %s\n\n%s", error.c_str(), kUsageText);
        return kUsage;
    }
    if (command.help) {
        std::fputs(kUsageText, stdout);
        return kPassed;
    }
    if (command.verb == "run") return Run(command);
    if (command.verb == "validate") return ValidateCommand(command);
    if (command.verb == "describe") return DescribeCommand(command);
    if (command.verb == "fuzz") return FuzzCommand(command);
    std::fprintf(stderr, "vorn-host: unknown command '%s'\n\n%s", command.verb.c_str(), kUsageText);
    return kUsage;
}

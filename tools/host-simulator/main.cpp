// vorn-host: runs plug-in libraries in a simulated host.
//
//   vorn-host run [--plugin PATH] [--json] SCENARIO...
//
// Exit code 0 when every expectation held, 1 when one failed, 2 for a usage
// or scenario-file error.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host-simulator/command_line.h"
#include "host-simulator/report.h"
#include "host-simulator/scenario_runner.h"
#include "platform/process_info.h"

namespace Vorn::HostSimulator {
namespace {

constexpr int kPassed = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char* const kUsageText =
    "usage: vorn-host run [--plugin PATH] [--json] SCENARIO...\n"
    "\n"
    "  run        plays each scenario (a YAML or JSON file, or a folder of them)\n"
    "             against the plug-in library and prints what happens\n"
    "  --plugin   the plug-in library (default: the featured-modes library of\n"
    "             this build, or the scenario's own 'plugin')\n"
    "  --json     write a machine-readable report instead of the trace\n"
    "\n"
    "Exit code: 0 every expectation held, 1 one failed, 2 usage or scenario error.\n";

// The featured-modes library beside this program's build: <bin>/../lib.
std::string DefaultPlugin() {
    const std::filesystem::path executable(Platform::ExecutablePath());
    return (executable.parent_path().parent_path() / "lib" / "qel-featured-modes.so").string();
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

int Run(const CommandLine& command) {
    std::vector<std::string> files;
    if (command.operands.empty()) {
        std::fputs(kUsageText, stderr);
        return kUsage;
    }
    if (!ExpandScenarios(command.operands, files)) return kUsage;
    RunOptions options;
    options.plugin = command.plugin;
    options.defaultPlugin = DefaultPlugin();
    options.trace = command.json ? nullptr : stdout;
    const bool progress = command.json && isatty(STDERR_FILENO) != 0;

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
            exitCode = kUsage;
            continue;
        }
        ScenarioResult result = RunScenario(scenario, options);
        if (result.outcome == Outcome::Error) exitCode = kUsage;
        if (result.outcome == Outcome::Failed && exitCode == kPassed) exitCode = kFailed;
        const char* verdict = result.outcome == Outcome::Passed ? "PASS" : result.outcome == Outcome::Failed ? "FAIL" : "ERROR";
        if (!command.json) {
            std::printf("%s  %s  (%zu steps, %.3f s)\n", verdict, result.name.c_str(), scenario.steps.size(), result.seconds);
            for (const std::string& message : result.messages) std::printf("      %s\n", message.c_str());
            std::printf("\n");
            std::fflush(stdout);
        } else if (progress) {
            std::fprintf(stderr, "%s  %s\n", verdict, result.name.c_str());
        }
        results.push_back(std::move(result));
    }
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

}  // namespace
}  // namespace Vorn::HostSimulator

int main(int argc, char** argv) {
    using namespace Vorn::HostSimulator;
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
    std::fprintf(stderr, "vorn-host: unknown command '%s'\n\n%s", command.verb.c_str(), kUsageText);
    return kUsage;
}

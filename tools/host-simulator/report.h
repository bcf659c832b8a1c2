#pragma once
// The machine-readable report of a command: one object per scenario or
// check, with its status, duration and messages.
#include <string>
#include <vector>

#include "host-simulator/junit_report.h"
#include "host-simulator/scenario_runner.h"
#include "host-simulator/validator.h"

namespace Vorn::HostSimulator {

// {"command": ..., "results": [{"name", "file", "status": "passed" |
// "failed" | "error", "seconds", "messages": [...]}, ...]}
std::string ReportJson(const std::string& command, const std::vector<ScenarioResult>& results);

// {"command": "validate", "plugin": ..., "results": [{"name", "status":
// "passed" | "failed" | "warning", "seconds", "messages": [reason,
// details...]}, ...]}
std::string CheckReportJson(const std::string& plugin, const std::vector<CheckResult>& results);

// A scenario file's JUnit suite: the scenario as its one case (failed with
// the failing step, what it expected and what came; an error when it could
// not run), the run's trace as the suite's output.
JunitSuite ScenarioSuite(const ScenarioResult& result);

// validate's suite: a case per check; a warning passes with its reason in
// the output.
JunitSuite CheckSuite(const std::string& plugin, const std::vector<CheckResult>& results);

// "scenarios.default": the file's folder and stem, dotted.
std::string ClassName(const std::string& file);

}  // namespace Vorn::HostSimulator

#pragma once
// The machine-readable report of a command: one object per scenario or
// check, with its status, duration and messages.
#include <string>
#include <vector>

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

}  // namespace Vorn::HostSimulator

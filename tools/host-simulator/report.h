#pragma once
// The machine-readable report of a command: one object per scenario or
// check, with its status, duration and messages.
#include <string>
#include <vector>

#include "host-simulator/scenario_runner.h"

namespace Vorn::HostSimulator {

// {"command": ..., "results": [{"name", "file", "status": "passed" |
// "failed" | "error", "seconds", "messages": [...]}, ...]}
std::string ReportJson(const std::string& command, const std::vector<ScenarioResult>& results);

}  // namespace Vorn::HostSimulator

#pragma once
// Checks a plug-in library against the host boundary, as the host will meet
// it: its export, the record it fills, the host versions it accepts and
// refuses, start, hostile event payloads, stop with tasks pending and its
// memory statistics. Each check runs in a child process of its own with a
// time limit, so a plug-in that crashes or hangs is reported, not fatal.
#include <functional>
#include <string>
#include <vector>

namespace Vorn::HostSimulator {

enum class CheckStatus { Pass, Fail, Warn };

// "PASS", "FAIL", "WARN".
const char* CheckStatusText(CheckStatus status);

struct CheckResult {
    std::string name;
    CheckStatus status = CheckStatus::Pass;
    double seconds = 0;
    // The first is the one-line reason; details follow.
    std::vector<std::string> messages;
};

struct ValidateOptions {
    std::string plugin;
    // Runs every check in this process: for a debugger. A crash or hang is
    // then the tool's own, and refused host versions cannot be tried.
    bool inProcess = false;
    double timeLimitSeconds = 10;
};

// The checks in the order they run; each may be told as it finishes.
std::vector<CheckResult> Validate(const ValidateOptions& options,
                                  const std::function<void(const CheckResult&)>& finished = {});

class Channel;
struct ChildWork;

// The part of a check that loads the plug-in, run by name in a child process
// (or here when inProcess); false when no check's work has that name.
bool PerformCheckWork(const ChildWork& work, bool inProcess, Channel& channel);

}  // namespace Vorn::HostSimulator

#include "host-simulator/child_process.h"

#include <algorithm>
#include <cstdio>

namespace Vorn::HostSimulator {

namespace {
// How much of the child's standard error is kept at its start and its end.
constexpr std::size_t kErrorHead = 2048;
constexpr std::size_t kErrorTail = 2048;
}  // namespace

std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return text;
}

KeyedLine SplitKeyedLine(const std::string& line) {
    const std::size_t space = line.find(' ');
    return {line.substr(0, space), space == std::string::npos ? "" : line.substr(space + 1)};
}

std::string ChildOutcome::Describe(double timeLimitSeconds) const {
    char text[160];
    switch (end) {
        case End::Finished: return {};
        case End::Exited:
            if (code == ChildProtocol::kWorkThrew) return "the check itself failed with an exception";
            std::snprintf(text, sizeof(text), "ended the process with exit code %d", code);
            return text;
        case End::Crashed: return "crashed with " + ChildProtocol::CrashText(code);
        case End::TimedOut:
            std::snprintf(text, sizeof(text), "did not finish within %g s", timeLimitSeconds);
            return text;
        case End::NotStarted: return "no child process could be started: " + output;
    }
    return {};
}

namespace ChildProtocol {

void KeepErrors(ChildOutcome& outcome, const char* data, std::size_t size) {
    const std::size_t head = std::min(size, kErrorHead - std::min(kErrorHead, outcome.errorsHead.size()));
    outcome.errorsHead.append(data, head);
    outcome.errors.append(data, size);
    if (outcome.errors.size() > 2 * kErrorTail) outcome.errors.erase(0, outcome.errors.size() - kErrorTail);
}

bool FinishOutput(ChildOutcome& outcome) {
    if (outcome.errors.size() > kErrorTail) outcome.errors.erase(0, outcome.errors.size() - kErrorTail);
    const std::string marker = std::string(kFinished) + "\n";
    const bool finished = outcome.output.size() >= marker.size() &&
                          outcome.output.compare(outcome.output.size() - marker.size(), marker.size(), marker) == 0;
    if (finished) outcome.output.resize(outcome.output.size() - marker.size());
    return finished;
}

}  // namespace ChildProtocol

}  // namespace Vorn::HostSimulator

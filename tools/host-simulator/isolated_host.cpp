#include "host-simulator/isolated_host.h"

#include <chrono>

namespace Vorn::HostSimulator {

ChildOutcome RunIsolated(const std::function<void(Channel&)>& work, bool inProcess, double timeLimitSeconds) {
    if (!inProcess) return RunInChild(work, timeLimitSeconds);
    const auto started = std::chrono::steady_clock::now();
    StringChannel channel;
    work(channel);
    ChildOutcome outcome;
    outcome.end = ChildOutcome::End::Finished;
    outcome.output = channel.Text();
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return outcome;
}

}  // namespace Vorn::HostSimulator

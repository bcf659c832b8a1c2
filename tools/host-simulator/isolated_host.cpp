#include "host-simulator/isolated_host.h"

#include <chrono>
#include <stdexcept>

#include "host-simulator/describe.h"
#include "host-simulator/allocation_sweep.h"
#include "host-simulator/fault_sweep.h"
#include "host-simulator/validator.h"

namespace Vorn::HostSimulator {

namespace {

// In a child: the work the parent named.
void PerformInChild(const ChildWork& work, Channel& channel) { PerformWork(work, false, channel); }

}  // namespace

void PerformWork(const ChildWork& work, bool inProcess, Channel& channel) {
    if (PerformCheckWork(work, inProcess, channel) || PerformDescribeWork(work, inProcess, channel) ||
        PerformSweepWork(work, channel) || PerformAllocationSweepWork(work, channel)) {
        return;
    }
    throw std::invalid_argument("no work named " + work.name);
}

ChildOutcome RunIsolated(const ChildWork& work, bool inProcess, double timeLimitSeconds) {
    if (!inProcess) return RunInChild(work, &PerformInChild, timeLimitSeconds);
    const auto started = std::chrono::steady_clock::now();
    StringChannel channel;
    PerformWork(work, true, channel);
    ChildOutcome outcome;
    outcome.end = ChildOutcome::End::Finished;
    outcome.output = channel.Text();
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return outcome;
}

void RunChildWorkIfAsked(int argc, char** argv) { ServeChildWork(argc, argv, &PerformInChild); }

}  // namespace Vorn::HostSimulator

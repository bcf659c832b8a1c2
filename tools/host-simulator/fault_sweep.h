#pragma once
// vorn-host run --fault-sweep: each scenario is run once cleanly, counting
// what the host does for the plug-in (answers, stream reads, delayed tasks),
// then once more for each of those with a fault injected there, every run in
// a child process. A run passes when the plug-in did not crash or hang and
// had no more bytes in use after stop than after loading; the scenario's own
// expectations may fail (the fault is meant to change things) and are
// reported, not counted.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host-simulator/child_process.h"
#include "host-simulator/sweep_run.h"

namespace Vorn::HostSimulator {

struct SweepTotals : SweepCounts {
    uint64_t changed = 0;  // runs whose expectations failed
};

// Sweeps the scenario files, printing a report to out.
SweepTotals FaultSweep(const std::vector<std::string>& files, const SweepOptions& options, std::FILE* out);

// The child's side: one run of a scenario, with or without a fault. False
// when the work is not the sweep's.
bool PerformSweepWork(const ChildWork& work, Channel& channel);

}  // namespace Vorn::HostSimulator

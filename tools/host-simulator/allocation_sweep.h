#pragma once
// vorn-host run --allocation-sweep: a scenario is run once cleanly, counting
// the plug-in's allocations, then once for each allocation k with the k-th
// made to fail (the plug-in's own heap hooks do it when the environment asks
// them: VORN_FAIL_ALLOCATION=k), every run in a child process. A run passes
// when the plug-in did not crash or hang and had no more bytes in use after
// stop than after loading. The report counts, per run, the ERROR lines the
// plug-in logged that the clean run did not: one is what a host entry that
// ran out of memory logs as it returns its failure value.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host-simulator/child_process.h"
#include "host-simulator/sweep_run.h"

namespace Vorn::HostSimulator {

struct AllocationSweepTotals : SweepCounts {
    uint64_t oneError = 0;    // runs with exactly one new ERROR line
    uint64_t noError = 0;     // the failure was absorbed without one
    uint64_t moreErrors = 0;  // more than one
};

// options.sample: at most that many runs per scenario, evenly spread over its
// allocations (0: every one).
AllocationSweepTotals AllocationSweep(const std::vector<std::string>& files, const SweepOptions& options,
                                      std::FILE* out);

// The child's side: one run of a scenario with its k-th allocation failing
// (none for 0). False when the work is not this sweep's.
bool PerformAllocationSweepWork(const ChildWork& work, Channel& channel);

}  // namespace Vorn::HostSimulator

#include "host-simulator/allocation_sweep.h"

#include <algorithm>
#include <map>
#include <sstream>
#include <stdexcept>

#include "host-simulator/isolated_host.h"
#include "host-simulator/sweep_run.h"
#include "platform/process_info.h"
#include "support/memory_hooks.h"

namespace Vorn::HostSimulator {

namespace {

constexpr const char* kWorkName = "allocation-sweep-run";

SweepRun RunOnce(const std::string& file, const SweepOptions& options, uint64_t k) {
    const ChildWork work{kWorkName, {file, options.plugin, options.defaultPlugin, std::to_string(k)}};
    return ReadSweepRun(RunIsolated(work, options.inProcess, options.timeLimitSeconds));
}

// The ERROR lines of a run that the clean run did not log (as many times):
// those the host received, and those written to the debugger output (where
// the plug-in's lines go before it has the host's log, as when loading).
std::vector<std::string> NewErrors(const SweepRun& run, const SweepRun& clean) {
    std::map<std::string, int> seen;
    for (const std::string& line : clean.errorLines) ++seen[line];
    std::vector<std::string> added;
    for (const std::string& line : run.errorLines) {
        if (seen[line]-- <= 0) added.push_back(line);
    }
    std::istringstream output(run.child.errors);
    std::string line;
    while (std::getline(output, line)) {
        if (line.find("ERROR| ") != std::string::npos) added.push_back(line.substr(line.find("ERROR| ") + 7));
    }
    return added;
}

}  // namespace

bool PerformAllocationSweepWork(const ChildWork& work, Channel& channel) {
    if (work.name != kWorkName) return false;
    if (work.arguments.size() != 4) throw std::invalid_argument("an allocation sweep run takes a file, two plug-ins and k");
    // This program's own heap hooks read the environment at their first
    // allocation: made here, before it asks the plug-in's to fail.
    Free(Allocate(1));
    const std::string k = work.arguments[3];
    if (k != "0" && !Platform::SetEnvironmentText("VORN_FAIL_ALLOCATION", k.c_str())) {
        throw std::runtime_error("cannot set VORN_FAIL_ALLOCATION");
    }
    RunOptions options;
    options.plugin = work.arguments[1];
    options.defaultPlugin = work.arguments[2];
    PlayAndReport(work.arguments[0], options, false, channel);
    return true;
}

AllocationSweepTotals AllocationSweep(const std::vector<std::string>& files, const SweepOptions& options,
                                      std::FILE* out) {
    AllocationSweepTotals totals;
    for (const std::string& file : files) {
        ++totals.scenarios;
        const SweepRun clean = RunOnce(file, options, 0);
        std::fprintf(out, "allocation sweep: %s\n", file.c_str());
        JunitSuite* suite = BeginSweepSuite(options, "allocation sweep", file);
        if (CleanRunUnusable(clean, options, totals, out, suite)) continue;
        if (!clean.measured) {
            ++totals.errors;
            std::fprintf(out, "  cannot run: the plug-in's allocations cannot be counted\n\n");
            AddSweepCase(suite, "counting allocations", clean.child.seconds,
                         "the plug-in's allocations cannot be counted", JunitCase::Status::Error);
            continue;
        }
        const uint64_t count = clean.allocations;
        const uint64_t runs = options.sample != 0 ? std::min(options.sample, count) : count;
        std::fprintf(out, "  clean run: %s, %llu allocations; failing %llu of them, one per run\n", clean.outcome.c_str(),
                     static_cast<unsigned long long>(count), static_cast<unsigned long long>(runs));
        for (uint64_t i = 0; i < runs; ++i) {
            // Evenly spread over 1..count, the first and the last included.
            const uint64_t k = runs == 1 ? 1 : 1 + i * (count - 1) / (runs - 1);
            const SweepRun run = RunOnce(file, options, k);
            ++totals.runs;
            const std::string name = "allocation " + std::to_string(k) + " fails";
            if (!run.Finished()) {
                ++(run.Hung() ? totals.hangs : totals.crashes);
                std::fprintf(out, "  k=%llu %s: %s\n", static_cast<unsigned long long>(k), run.Hung() ? "HANG" : "CRASH",
                             run.Failure(options.timeLimitSeconds).c_str());
                AddSweepCase(suite, name, run.child.seconds,
                             (run.Hung() ? "HANG: " : "CRASH: ") + run.Failure(options.timeLimitSeconds));
                continue;
            }
            std::string problem;
            if (run.Leaked()) {
                ++totals.leaks;
                problem = "LEAK: " + std::to_string(run.stopped - run.loaded) +
                          " bytes more in use after stop than after loading";
                std::fprintf(out, "  k=%llu %s\n", static_cast<unsigned long long>(k), problem.c_str());
            }
            AddSweepCase(suite, name, run.child.seconds, problem);
            const std::vector<std::string> added = NewErrors(run, clean);
            ++(added.size() == 1 ? totals.oneError : added.empty() ? totals.noError : totals.moreErrors);
            if (added.empty()) {
                std::fprintf(out, "  k=%llu no new ERROR line (%s)\n", static_cast<unsigned long long>(k),
                             run.outcome == clean.outcome ? "nothing the scenario checks changed"
                             : run.messages.empty()      ? run.outcome.c_str()
                                                         : run.messages.front().c_str());
            }
            if (added.size() > 1) {
                std::fprintf(out, "  k=%llu %zu new ERROR lines, the first: %s\n", static_cast<unsigned long long>(k),
                             added.size(), added.front().c_str());
            }
        }
        std::fprintf(out, "\n");
        std::fflush(out);
    }
    std::fprintf(out,
                 "allocation sweep: %llu scenarios, %llu runs: %llu crashes, %llu hangs, %llu leaks; a failed allocation "
                 "gave one new ERROR line in %llu runs, none in %llu, more in %llu%s\n",
                 static_cast<unsigned long long>(totals.scenarios), static_cast<unsigned long long>(totals.runs),
                 static_cast<unsigned long long>(totals.crashes), static_cast<unsigned long long>(totals.hangs),
                 static_cast<unsigned long long>(totals.leaks), static_cast<unsigned long long>(totals.oneError),
                 static_cast<unsigned long long>(totals.noError), static_cast<unsigned long long>(totals.moreErrors),
                 totals.errors != 0 ? "; some scenarios could not run" : "");
    return totals;
}

}  // namespace Vorn::HostSimulator

#include "host-simulator/fault_sweep.h"

#include <stdexcept>

#include "host-simulator/isolated_host.h"
#include "host-simulator/sweep_run.h"

namespace Vorn::HostSimulator {

namespace {

using Host::InjectedFault;
using Host::Interaction;

constexpr const char* kWorkName = "sweep-run";

// The faults that fit an interaction of each kind.
std::vector<InjectedFault> FaultsFor(Interaction::Kind kind) {
    switch (kind) {
        case Interaction::Kind::Answer: return {InjectedFault::AnswerFails, InjectedFault::AnswerWrongKind};
        case Interaction::Kind::Read: return {InjectedFault::ReadFails, InjectedFault::ReadEndsShort};
        case Interaction::Kind::Task: return {InjectedFault::TaskDropped};
    }
    return {};
}

SweepRun RunOnce(const std::string& file, const SweepOptions& options, uint64_t faultAt, InjectedFault fault) {
    const ChildWork work{kWorkName,
                         {file, options.plugin, options.defaultPlugin, std::to_string(faultAt),
                          std::to_string(static_cast<int>(fault))}};
    return ReadSweepRun(RunIsolated(work, options.inProcess, options.timeLimitSeconds));
}

}  // namespace

bool PerformSweepWork(const ChildWork& work, Channel& channel) {
    if (work.name != kWorkName) return false;
    if (work.arguments.size() != 5) throw std::invalid_argument("a sweep run takes a file, two plug-ins and a fault");
    RunOptions options;
    options.plugin = work.arguments[1];
    options.defaultPlugin = work.arguments[2];
    options.faultAt = std::stoull(work.arguments[3]);
    options.fault = static_cast<InjectedFault>(std::stoi(work.arguments[4]));
    PlayAndReport(work.arguments[0], options, options.fault == InjectedFault::None, channel);
    return true;
}

SweepTotals FaultSweep(const std::vector<std::string>& files, const SweepOptions& options, std::FILE* out) {
    SweepTotals totals;
    for (const std::string& file : files) {
        ++totals.scenarios;
        const SweepRun clean = RunOnce(file, options, 0, InjectedFault::None);
        std::fprintf(out, "fault sweep: %s\n", file.c_str());
        JunitSuite* suite = BeginSweepSuite(options, "fault sweep", file);
        if (CleanRunUnusable(clean, options, totals, out, suite)) continue;
        std::fprintf(out, "  clean run: %s, %zu interactions; bytes in use %llu after loading, %llu after stop%s\n",
                     clean.outcome.c_str(), clean.interactions.size(), static_cast<unsigned long long>(clean.loaded),
                     static_cast<unsigned long long>(clean.stopped), clean.Leaked() ? " (LEAK)" : "");
        for (std::size_t k = 1; k <= clean.interactions.size(); ++k) {
            const Interaction& interaction = clean.interactions[k - 1];
            for (InjectedFault fault : FaultsFor(interaction.kind)) {
                const SweepRun run = RunOnce(file, options, k, fault);
                ++totals.runs;
                std::string verdict;
                std::string problem;
                if (!run.Finished()) {
                    ++(run.Hung() ? totals.hangs : totals.crashes);
                    verdict = problem = (run.Hung() ? "HANG: " : "CRASH: ") + run.Failure(options.timeLimitSeconds);
                } else if (run.Leaked()) {
                    ++totals.leaks;
                    verdict = problem = "LEAK: " + std::to_string(run.stopped - run.loaded) +
                                        " bytes more in use after stop than after loading";
                } else if (run.outcome == clean.outcome) {
                    verdict = "ok, nothing the scenario checks changed";
                } else {
                    ++totals.changed;
                    verdict = "ok; " + (run.messages.empty() ? run.outcome : run.messages.front());
                }
                std::fprintf(out, "  %3zu %-6s %s: %s -> %s\n", k, InteractionKindWord(interaction.kind),
                             interaction.label.c_str(), Host::InjectedFaultName(fault), verdict.c_str());
                AddSweepCase(suite,
                             std::to_string(k) + " " + InteractionKindWord(interaction.kind) + " " + interaction.label +
                                 ": " + Host::InjectedFaultName(fault),
                             run.child.seconds, problem);
            }
        }
        std::fprintf(out, "\n");
        std::fflush(out);
    }
    const std::string unrun = totals.errors != 0 ? "; " + std::to_string(totals.errors) + " could not run" : "";
    std::fprintf(out,
                 "fault sweep: %llu scenarios, %llu runs: %llu crashes, %llu hangs, %llu leaks (%llu runs changed what "
                 "a scenario expects%s)\n",
                 static_cast<unsigned long long>(totals.scenarios), static_cast<unsigned long long>(totals.runs),
                 static_cast<unsigned long long>(totals.crashes), static_cast<unsigned long long>(totals.hangs),
                 static_cast<unsigned long long>(totals.leaks), static_cast<unsigned long long>(totals.changed),
                 unrun.c_str());
    return totals;
}

}  // namespace Vorn::HostSimulator

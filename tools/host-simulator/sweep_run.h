#pragma once
// One run of a sweep, in a child process: a scenario played with a fault
// injected, written back to the parent as keyed lines and read there.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host-simulator/child_process.h"
#include "host-simulator/junit_report.h"
#include "host-simulator/scenario_runner.h"
#include "host/simulated_host.h"

namespace Vorn::HostSimulator {

// What both sweeps are given.
struct SweepOptions {
    std::string plugin;  // overrides the scenarios' own, when set
    std::string defaultPlugin;
    double timeLimitSeconds = 10;
    bool inProcess = false;  // for a debugger: a crash is then the tool's own
    uint64_t sample = 0;     // allocation sweep: at most this many runs per scenario; 0 all
    // When set, a suite per scenario file is added, a case per run.
    std::vector<JunitSuite>* junit = nullptr;
};

// What both sweeps count.
struct SweepCounts {
    uint64_t scenarios = 0;
    uint64_t runs = 0;
    uint64_t crashes = 0;
    uint64_t hangs = 0;
    uint64_t leaks = 0;
    uint64_t errors = 0;  // scenario files that could not run

    bool Clean() const { return crashes + hangs + leaks == 0; }
};

struct SweepRun;
// A clean run the sweep cannot go on from (it crashed, hung or could not
// run): counted and printed; false when the sweep can go on.
// Its case goes to the suite (when there is one).
bool CleanRunUnusable(const SweepRun& clean, const SweepOptions& options, SweepCounts& counts, std::FILE* out,
                      JunitSuite* suite);

struct SweepRun {
    ChildOutcome child;
    std::string outcome;  // "passed", "failed", "error"; empty when the run did not finish
    std::vector<std::string> messages;  // the first line of each failure
    bool measured = false;
    uint64_t loaded = 0;   // bytes in use after loading
    uint64_t stopped = 0;  // and after the final stop
    uint64_t allocations = 0;
    std::vector<std::string> errorLines;
    std::string lastStep;  // the step under way when the child ended
    std::vector<Host::Interaction> interactions;
    std::vector<Host::RecordedSubscription> subscriptions;  // with the interactions; subscribes only

    bool Finished() const { return child.end == ChildOutcome::End::Finished && !outcome.empty(); }
    bool Hung() const { return child.end == ChildOutcome::End::TimedOut; }
    bool Leaked() const { return Finished() && measured && stopped > loaded; }
    // "the plug-in crashed with signal 11 (...) in step 4 (update, line 12)".
    std::string Failure(double timeLimitSeconds) const;
};

// The JUnit suite of a scenario file the sweep begins (null when no report
// is asked for), and a case of it: failed with the problem when there is
// one ("CRASH: ...", "LEAK: ..."), an error when the run could not be made.
JunitSuite* BeginSweepSuite(const SweepOptions& options, const std::string& sweep, const std::string& file);
void AddSweepCase(JunitSuite* suite, const std::string& name, double seconds, const std::string& problem,
                  JunitCase::Status status = JunitCase::Status::Failed);

// "answer", "read", "task".
const char* InteractionKindWord(Host::Interaction::Kind kind);

// In the child: plays the scenario file with the options (each step reported
// as it begins) and writes the result; interactions and subscriptions only
// when asked.
void PlayAndReport(const std::string& file, RunOptions options, bool withInteractions, Channel& channel);

// In the parent: what a child wrote.
SweepRun ReadSweepRun(const ChildOutcome& child);

}  // namespace Vorn::HostSimulator

#pragma once
// vorn-host fuzz: random sequences of host doings against any plug-in, each
// run in a child process under a time limit. A run that crashes, hangs,
// leaks (more bytes in use after its final stop than a plain start and stop
// leaves) or makes the plug-in's exception guard log an ERROR line is a
// finding: its sequence is shrunk to the fewest steps that still fail the
// same way and written as a scenario that `vorn-host run` replays to that
// failure.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host-simulator/sweep_run.h"

namespace Vorn::HostSimulator {

struct FuzzOptions {
    std::string plugin;
    double seconds = 60;       // fuzzing time; shrinking a finding may run on past it
    uint64_t runs = 0;         // at most this many runs; 0: as many as the time allows
    uint64_t seed = 0;
    std::string outDir = "fuzz-findings";
    double timeLimitSeconds = 10;  // each child
    std::size_t maxSteps = 30;     // steps of a sequence, its first start included
};

struct FuzzTotals {
    uint64_t runs = 0;
    uint64_t steps = 0;
    uint64_t findings = 0;  // distinct failures written
    uint64_t repeats = 0;   // runs that failed as an earlier finding did
    bool error = false;     // the plug-in could not be fuzzed at all
    std::vector<std::string> files;  // the scenarios written
    std::vector<std::string> reports;  // each finding's line: "run 12: the plug-in crashed ..."
};

// How a run failed: the key tells failures apart (the same key is the same
// failure, for shrinking and for counting each once).
struct FuzzFailure {
    enum class Kind { None, Crash, Hang, Leak, Error } kind = Kind::None;
    std::string key;
    std::string text;  // for the report
    std::string errorLine;  // Error: the guard's line
};

// Whether an ERROR line is the one the plug-in runtime's guard logs when an
// exception reaches a host entry ("<entry> failed: <what>").
bool IsGuardLine(const std::string& line);

// How a run ended; leaks are measured against the bytes a plain start and
// stop leaves in use.
FuzzFailure JudgeRun(const SweepRun& run, uint64_t baseline, double timeLimitSeconds);

FuzzTotals Fuzz(const FuzzOptions& options, std::FILE* out);

}  // namespace Vorn::HostSimulator

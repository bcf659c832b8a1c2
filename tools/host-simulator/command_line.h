#pragma once
// The command line of vorn-host: a verb, options and operands.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Vorn::HostSimulator {

struct CommandLine {
    std::string verb;
    std::string plugin;  // --plugin PATH
    bool json = false;       // --json
    bool inProcess = false;  // --in-process
    bool faultSweep = false; // --fault-sweep (run)
    bool allocationSweep = false;  // --allocation-sweep (run)
    uint64_t sample = 0;     // --sample N (allocation sweep)
    double timeLimitSeconds = 10;  // --time-limit SECONDS
    double fuzzSeconds = 60;  // --time SECONDS (fuzz)
    uint64_t runs = 0;        // --runs N (fuzz)
    std::optional<uint64_t> seed;  // --seed N (fuzz)
    std::string out = "fuzz-findings";  // --out DIR (fuzz)
    std::string junit;        // --junit FILE
    std::string html;         // --html FILE (run)
    std::string saveTrace;    // --save-trace DIR (run)
    std::string compareTrace; // --compare-trace DIR (run)
    bool help = false;       // --help, -h
    std::vector<std::string> operands;
};

// False with a reason for an unknown option or a missing value.
bool ParseCommandLine(int argc, char** argv, CommandLine& command, std::string& error);

}  // namespace Vorn::HostSimulator

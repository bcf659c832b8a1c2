#include "host-simulator/command_line.h"

#include <cstdlib>

namespace Vorn::HostSimulator {

namespace {

// The decimal number after argv[i], stepping over it; nothing when there is
// none (a sign included).
std::optional<uint64_t> Number(int argc, char** argv, int& i) {
    if (i + 1 >= argc || argv[i + 1][0] == '-' || argv[i + 1][0] == '+') return std::nullopt;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(argv[i + 1], &end, 10);
    if (end == argv[i + 1] || *end != '\0') return std::nullopt;
    ++i;
    return static_cast<uint64_t>(value);
}

}  // namespace

bool ParseCommandLine(int argc, char** argv, CommandLine& command, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            command.help = true;
        } else if (argument == "--json") {
            command.json = true;
        } else if (argument == "--in-process") {
            command.inProcess = true;
        } else if (argument == "--fault-sweep") {
            command.faultSweep = true;
        } else if (argument == "--allocation-sweep") {
            command.allocationSweep = true;
        } else if (argument == "--sample" || argument == "--runs") {
            const std::optional<uint64_t> count = Number(argc, argv, i);
            if (!count || *count == 0) {
                error = argument + " needs a positive number of runs";
                return false;
            }
            (argument == "--sample" ? command.sample : command.runs) = *count;
        } else if (argument == "--seed") {
            command.seed = Number(argc, argv, i);
            if (!command.seed) {
                error = "--seed needs a number";
                return false;
            }
        } else if (argument == "--plugin" || argument == "--out") {
            if (i + 1 == argc) {
                error = argument + (argument == "--out" ? " needs a folder" : " needs a path");
                return false;
            }
            (argument == "--out" ? command.out : command.plugin) = argv[++i];
        } else if (argument == "--junit" || argument == "--html" || argument == "--save-trace" ||
                   argument == "--compare-trace") {
            if (i + 1 == argc || argv[i + 1][0] == '\0') {
                error = argument + (argument == "--junit" || argument == "--html" ? " needs a file" : " needs a folder");
                return false;
            }
            std::string& value = argument == "--junit"        ? command.junit
                                 : argument == "--html"       ? command.html
                                 : argument == "--save-trace" ? command.saveTrace
                                                              : command.compareTrace;
            value = argv[++i];
        } else if (argument == "--time-limit" || argument == "--time") {
            char* end = nullptr;
            const double seconds = i + 1 < argc ? std::strtod(argv[i + 1], &end) : 0;
            // Between a millisecond and a day; NaN fails both comparisons.
            if (end == nullptr || *end != '\0' || end == argv[i + 1] || !(seconds >= 0.001 && seconds <= 86400)) {
                error = argument + " needs a number of seconds";
                return false;
            }
            (argument == "--time" ? command.fuzzSeconds : command.timeLimitSeconds) = seconds;
            ++i;
        } else if (argument.rfind("--", 0) == 0) {
            error = "unknown option '" + argument + "'";
            return false;
        } else if (command.verb.empty()) {
            command.verb = argument;
        } else {
            command.operands.push_back(argument);
        }
    }
    if (command.verb.empty() && !command.help) {
        error = "a command is needed";
        return false;
    }
    return true;
}

}  // namespace Vorn::HostSimulator

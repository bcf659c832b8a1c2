#include "host-simulator/command_line.h"

#include <cstdlib>

namespace Vorn::HostSimulator {

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
        } else if (argument == "--sample") {
            char* end = nullptr;
            const unsigned long long count = i + 1 < argc ? std::strtoull(argv[i + 1], &end, 10) : 0;
            if (end == nullptr || *end != '\0' || end == argv[i + 1] || count == 0 || argv[i + 1][0] == '-') {
                error = "--sample needs a positive number of runs";
                return false;
            }
            command.sample = count;
            ++i;
        } else if (argument == "--plugin") {
            if (i + 1 == argc) {
                error = "--plugin needs a path";
                return false;
            }
            command.plugin = argv[++i];
        } else if (argument == "--time-limit") {
            char* end = nullptr;
            const double seconds = i + 1 < argc ? std::strtod(argv[i + 1], &end) : 0;
            // Between a millisecond and a day; NaN fails both comparisons.
            if (end == nullptr || *end != '\0' || end == argv[i + 1] || !(seconds >= 0.001 && seconds <= 86400)) {
                error = "--time-limit needs a number of seconds";
                return false;
            }
            command.timeLimitSeconds = seconds;
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

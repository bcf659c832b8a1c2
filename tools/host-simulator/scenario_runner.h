#pragma once
// Plays a scenario against a plug-in library in a simulated host and prints
// what happens: every host call the plug-in makes and every event the host
// delivers, with the virtual time, and the outcome of each expectation.
#include <cstdio>
#include <string>
#include <vector>

#include "host-simulator/scenario.h"

namespace Vorn::HostSimulator {

struct RunOptions {
    std::string plugin;  // from the command line; overrides the scenario's
    std::string defaultPlugin;
    std::FILE* trace = nullptr;  // null: print nothing
};

enum class Outcome { Passed, Failed, Error };

struct ScenarioResult {
    std::string name;
    std::string file;
    Outcome outcome = Outcome::Passed;
    double seconds = 0;
    std::vector<std::string> messages;
};

ScenarioResult RunScenario(const Scenario& scenario, const RunOptions& options);

}  // namespace Vorn::HostSimulator

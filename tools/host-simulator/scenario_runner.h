#pragma once
// Plays a scenario against a plug-in library in a simulated host and prints
// what happens: every host call the plug-in makes and every event the host
// delivers, with the virtual time, and the outcome of each expectation.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "host-simulator/scenario.h"

namespace Vorn::HostSimulator {

struct RunOptions {
    std::string plugin;  // from the command line; overrides the scenario's
    std::string defaultPlugin;
    std::FILE* trace = nullptr;  // null: print nothing
    // Told of each step as it begins (a child reports its progress so).
    std::function<void(const Step& step)> stepStarted;
    // A fault to inject at interaction number faultAt (from 1).
    uint64_t faultAt = 0;
    Host::InjectedFault fault = Host::InjectedFault::None;
};

enum class Outcome { Passed, Failed, Error };

struct ScenarioResult {
    std::string name;
    std::string file;
    Outcome outcome = Outcome::Passed;
    double seconds = 0;
    std::vector<std::string> messages;
    // What the host did for the plug-in, in order.
    std::vector<Host::Interaction> interactions;
    // Bytes the plug-in had in use after its last loading and after its last
    // stop (the run ends with a stop); measured when it has the statistics
    // callback and was started.
    bool memoryMeasured = false;
    uint64_t inUseAfterLoading = 0;
    uint64_t inUseAfterStop = 0;
    uint64_t allocations = 0;  // the plug-in module's, since it was loaded
    // ERROR lines the plug-in logged.
    std::vector<std::string> errorLines;
    // The plug-in's subscriptions and unsubscriptions, in order.
    std::vector<Host::RecordedSubscription> subscriptions;
};

ScenarioResult RunScenario(const Scenario& scenario, const RunOptions& options);

}  // namespace Vorn::HostSimulator

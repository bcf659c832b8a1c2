#pragma once
// Plays a scenario against a plug-in library in a simulated host and prints
// what happens: every host call the plug-in makes and every event the host
// delivers, with the virtual time, and the outcome of each expectation.
#include <cstdint>
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

// What one step did and, for an expectation, whether it held.
struct StepReport {
    enum class Verdict { Done, Held, Failed, Error };
    std::size_t number = 0;  // from 1
    std::size_t line = 0;    // in the scenario file; 0 when not known
    std::string kind;
    std::string text;    // "update /path", "expect-request GET /path"
    Verdict verdict = Verdict::Done;
    std::string detail;  // "1 match" for one that held; the failure's message
    // The host's trace lines the step caused: [traceBegin, traceEnd).
    std::size_t traceBegin = 0;
    std::size_t traceEnd = 0;
    // A failed expectation of a value: what it asked for, and what the
    // plug-in gave in its place (each request's body or parameters in the
    // step's window, or the response).
    BindingProperty expected;
    std::vector<BindingProperty> actual;
};

struct ScenarioResult {
    std::string name;
    std::string file;
    std::string plugin;  // the library it ran
    // The real clock (milliseconds since 1970) before and after the run.
    int64_t realStart = 0;
    int64_t realEnd = 0;
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
    // The steps run, in order (the one that failed last).
    std::vector<StepReport> steps;
    // The host's trace lines and when and in which lane each happened.
    std::vector<std::string> hostTrace;
    std::vector<Host::TraceMark> hostMarks;
    // Everything the run printed (or would have), as in RunOptions::trace.
    std::string transcript;
};

ScenarioResult RunScenario(const Scenario& scenario, const RunOptions& options);

}  // namespace Vorn::HostSimulator

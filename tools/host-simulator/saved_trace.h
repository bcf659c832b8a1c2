#pragma once
// A scenario's trace as saved to compare a plug-in with itself later:
// everything the run printed, with what differs from one run or machine to
// the next taken out, and a unified diff of two of them.
#include <cstddef>
#include <string>

#include "host-simulator/scenario_runner.h"

namespace Vorn::HostSimulator {

// The run's transcript with the plug-in's and the scenario's paths reduced to
// their file names, and every whole number that reads as the real clock
// during the run (milliseconds or seconds since 1970, within a day of it) as
// "<real time ms>" or "<real time s>". Virtual times stay: they repeat when
// the plug-in's random source is seeded (VORN_RANDOM_SEED).
std::string NormalisedTrace(const ScenarioResult& result);

// "default.trace" for "scenarios/default.yaml".
std::string TraceFileName(const std::string& scenarioFile);

// The lines of `before` and `after` compared as diff -u does, with `context`
// lines around each change; empty when the texts are the same.
std::string UnifiedDiff(const std::string& beforeName, const std::string& before, const std::string& afterName,
                        const std::string& after, std::size_t context = 3);

}  // namespace Vorn::HostSimulator

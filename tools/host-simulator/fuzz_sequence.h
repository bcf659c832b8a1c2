#pragma once
// The fuzzer's sequences: random steps for one run against a plug-in (events
// to what it subscribed to, stored values, clock advances, stops and
// restarts) and random answers to the requests it was seen to make, written
// as a scenario document that `vorn-host run` plays.
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "binding/binding_property.h"
#include "host-simulator/payload_shapes.h"
#include "host-simulator/seeded_random.h"

namespace Vorn::HostSimulator {

// What the fuzzer has learnt of the plug-in from its runs so far.
struct FuzzTarget {
    std::string plugin;
    // Event names it subscribed to, each with its payload type from the API
    // table (empty when the table names none).
    std::vector<std::pair<std::string, std::string>> events;
    std::set<std::pair<std::string, std::string>> requests;  // method text, path

    // Learns a subscription; its payload type is the table event whose name
    // is the longest start of the subscribed name.
    void AddEvent(const std::string& name, const BindingProperty& description);
};

struct FuzzSequence {
    std::vector<BindingProperty> endpoints;  // scenario endpoint maps
    std::vector<BindingProperty> steps;      // scenario steps
};

// One run's sequence: mutated lets the values and payloads be spoilt.
FuzzSequence GenerateSequence(const FuzzTarget& target, const PayloadShapes& shapes, bool mutated, SeededRandom& random,
                              std::size_t maxSteps);

// "/a/b/c" for "OnJsonApiEvent_a_b_c"; empty for a name of no resource path.
std::string PathOfEventName(std::string_view name);

// Whether the plug-in is started after the steps (start and restart start
// it, stop stops it).
bool EndsStarted(const std::vector<BindingProperty>& steps);

// The scenario: its name, the plug-in, the endpoints and the steps, then the
// checks.
BindingProperty ScenarioDocument(const FuzzSequence& sequence, const std::string& name, const std::string& plugin,
                                 const std::vector<BindingProperty>& checks = {});

}  // namespace Vorn::HostSimulator

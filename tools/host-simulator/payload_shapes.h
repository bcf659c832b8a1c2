#pragma once
// Values shaped after the types a plug-in's API table describes (as describe
// reads them): every member of its described kind, for the fuzzer to send as
// event data, stored values and answers. Mutated values keep most of the
// shape and spoil parts of it: a value of the wrong kind, a member left out
// or one too many, numbers at their extremes, long texts, deep nesting.
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_property.h"
#include "host-simulator/seeded_random.h"

namespace Vorn::HostSimulator {

class PayloadShapes {
public:
    // description: what DescribePlugin gives.
    explicit PayloadShapes(BindingProperty description);

    bool Knows(std::string_view typeName) const { return types_.count(std::string(typeName)) != 0; }
    // The structures not of the runtime's own (builtin or help) types whose
    // names share the most words with the path ("/a-gameflow/v1/session":
    // ...GameflowSession); all of them when none shares a word.
    std::vector<std::string> TypesFor(std::string_view path) const;
    // A value of the type; mutated: with faults put in here and there. A type
    // the table does not describe gives a value of no particular shape.
    BindingProperty Value(std::string_view typeName, bool mutated, SeededRandom& random) const;
    // A value of no particular shape.
    BindingProperty Loose(bool mutated, SeededRandom& random) const;

private:
    // typed: a member's description (type, describedType, elementType, ...).
    BindingProperty Typed(uint64_t code, std::string_view described, uint64_t elementCode, bool mutated,
                          SeededRandom& random, int depth) const;
    BindingProperty Structure(const BindingProperty& type, bool mutated, SeededRandom& random, int depth) const;

    BindingProperty description_;
    std::map<std::string, const BindingProperty*> types_;
    std::vector<std::string> dataTypes_;
};

// A value that breaks what a reader expects: another kind, an extreme
// number, a long text, deep nesting, an empty container.
BindingProperty SpoiltValue(SeededRandom& random);

}  // namespace Vorn::HostSimulator

#pragma once
// A scenario file: the host's world (version, resources, endpoints) and the
// steps that drive the plug-in and check what it did. docs/scenarios.md
// describes the format.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "binding/binding_property.h"
#include "host/simulated_host.h"

namespace Vorn::HostSimulator {

struct ScenarioError {
    std::string file;
    std::size_t line = 0;    // 0: not known
    std::size_t column = 0;  // 0: not known
    std::string message;

    // "file:line:column: message", with what is known.
    std::string Text() const;
};

struct Step {
    std::string kind;           // "start", "update", "expect-request", ...
    BindingProperty arguments;  // the step's map (empty for start/stop/restart)
    std::size_t number = 0;     // from 1
    std::size_t line = 0;       // in the file; 0 when not known
    uint64_t duration = 0;      // advance only, nanoseconds

    bool IsExpectation() const { return kind.rfind("expect-", 0) == 0; }
    // "step 3 (advance, line 17)"
    std::string Label() const;
};

// Steps a streamed answer has the host run while the plug-in reads it (in
// its yield after read `afterRead`).
struct DuringRead {
    std::vector<Step> steps;
    uint32_t afterRead = 1;
};

struct Endpoint {
    uint32_t method = 0;
    std::string path;
    // The answers in turn; the last one repeats. `during` has one entry per
    // answer (without steps for most).
    std::vector<Host::Answer> answers;
    std::vector<DuringRead> during;
};

struct Scenario {
    std::string file;
    std::string name;
    std::optional<std::string> plugin;
    Host::HostVersion hostVersion;
    std::vector<std::pair<std::string, BindingProperty>> resources;
    std::vector<Endpoint> endpoints;
    std::vector<Step> steps;
};

// A file's bytes; false when it cannot be read.
bool ReadWholeFile(const std::string& file, std::string& text);

// Reads and checks a scenario file (YAML, or JSON for ".json"). Every step
// and key is checked here, so a scenario either runs to its end or fails on
// an expectation.
bool LoadScenario(const std::string& file, Scenario& scenario, ScenarioError& error);
// The same for a file's text already read; `file` names it in errors and
// chooses the reader.
bool LoadScenarioText(const std::string& file, const std::string& text, Scenario& scenario, ScenarioError& error);

// Method names ("GET", case-insensitive) to codes; 0 for an unknown name.
uint32_t MethodCode(std::string_view name);
// For calls of exposed functions: the names above, "ANY" (0) and "CUSTOM"
// (8); nothing for an unknown name.
std::optional<uint32_t> CallMethodCode(std::string_view name);
bool IsCallOnlyMethod(std::string_view name);
// "7b 22 61" or "7b2261": the bytes; nothing for text that is not hex pairs.
std::optional<std::string> HexBytes(std::string_view hex);

}  // namespace Vorn::HostSimulator

#include "host-simulator/scenario.h"

#include <cctype>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "formats/json_reader.h"
#include "formats/yaml_reader.h"
#include "host-simulator/duration.h"
#include "host-simulator/hostile_payloads.h"

namespace Vorn::HostSimulator {

namespace {

struct StepRule {
    std::string_view kind;
    std::set<std::string_view> keys;      // the keys the step may have
    std::set<std::string_view> required;  // of those, the ones it must have
};

// A step with no keys takes no arguments at all.
const std::vector<StepRule>& StepRules() {
    static const std::vector<StepRule> rules = {
        {"start", {}, {}},
        {"stop", {}, {}},
        {"restart", {}, {}},
        {"create", {"path", "body"}, {"path"}},
        {"update", {"path", "body"}, {"path"}},
        {"delete", {"path"}, {"path"}},
        {"set", {"path", "body"}, {"path"}},
        {"event", {"name", "uri", "type", "data", "payload", "hostile"}, {"name"}},
        {"advance", {}, {}},
        {"expect-request", {"method", "path", "body", "params", "count"}, {}},
        {"expect-no-request", {"method", "path"}, {}},
        {"expect-log", {"level", "text", "count", "whole-run"}, {}},
        {"expect-memory", {"at-most"}, {"at-most"}},
        {"expect-subscription", {"event"}, {"event"}},
        {"call",
         {"function", "method", "path", "custom-method", "headers", "values", "body", "body-hex", "content-type"},
         {"function", "path"}},
        {"expect-response", {"status", "failed", "error", "result"}, {}},
    };
    return rules;
}

// What may run during a streamed read: the host's own doings, no plug-in life
// changes, calls or expectations.
const std::set<std::string_view> kDuringSteps = {"create", "update", "delete", "set", "event", "advance"};

const std::set<std::string_view> kTopLevelKeys = {"name", "plugin", "host-version", "resources", "endpoints", "steps"};
const std::set<std::string_view> kLogLevels = {"OKAY", "WARN", "ERROR", "ALWAYS"};
const std::set<std::string_view> kEventTypes = {"Create", "Update", "Delete"};

std::string Quote(std::string_view text) { return "'" + std::string(text) + "'"; }

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The reader's messages end with "At line: L col: C" (YAML) or "at offset N"
// (JSON); the position is lifted into the error where it can be found.
void PlaceReaderError(const std::string& text, std::string_view message, ScenarioError& error) {
    error.message = std::string(message);
    std::size_t at = message.rfind("line: ");
    if (at != std::string_view::npos) {
        error.line = std::strtoul(std::string(message.substr(at + 6)).c_str(), nullptr, 10);
        std::size_t col = message.rfind("col: ");
        if (col != std::string_view::npos) {
            error.column = std::strtoul(std::string(message.substr(col + 5)).c_str(), nullptr, 10);
        }
        // libyaml's own errors count lines and columns from 0, the reader's
        // from 1.
        if (message.starts_with("YAML parser error")) {
            ++error.line;
            ++error.column;
        }
        return;
    }
    at = message.rfind("offset ");
    if (at == std::string_view::npos) return;
    const std::size_t offset = std::strtoul(std::string(message.substr(at + 7)).c_str(), nullptr, 10);
    error.line = 1;
    error.column = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++error.line;
            error.column = 1;
        } else {
            ++error.column;
        }
    }
}

// The line of each item of the top-level "steps:" list of a YAML text, so
// that errors and failures point into the file. Empty when the list is not
// written in block style.
std::vector<std::size_t> StepLines(const std::string& text) {
    std::vector<std::size_t> lines;
    std::istringstream stream(text);
    std::string line;
    std::size_t number = 0;
    bool inSteps = false;
    std::size_t indent = std::string::npos;
    while (std::getline(stream, line)) {
        ++number;
        const std::size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos || line[first] == '#') continue;
        if (first == 0 && line[0] != '-') {
            inSteps = line.rfind("steps:", 0) == 0;
            continue;
        }
        if (!inSteps || (line.compare(first, 2, "- ") != 0 && line.substr(first) != "-")) continue;
        if (indent == std::string::npos) indent = first;
        if (first == indent) lines.push_back(number);
    }
    return lines;
}

class Loader {
public:
    Loader(const std::string& file, ScenarioError& error) : error_(error) { error_.file = file; }

    bool Fail(std::string message, std::size_t line = 0) {
        error_.message = std::move(message);
        error_.line = line;
        return false;
    }

    bool CheckKeys(const BindingProperty& map, const std::set<std::string_view>& allowed, const std::string& what,
                   std::size_t line) {
        if (map.Kind() != BindingKind::Structure) return Fail(what + " must be a map", line);
        for (const auto& [name, value] : *map.StructureMembers()) {
            if (allowed.count(name->View()) == 0) return Fail(what + " has an unknown key " + Quote(name->View()), line);
        }
        return true;
    }

    bool Text(const BindingProperty& value, const std::string& what, std::size_t line) {
        return value.Kind() == BindingKind::String ? true : Fail(what + " must be a text", line);
    }

    bool Answer(const BindingProperty& spec, const std::string& what, Host::Answer& answer, DuringRead& during) {
        if (!CheckKeys(spec, {"body", "status", "error", "stream", "during", "during-read"}, what, 0)) return false;
        if (const BindingProperty* steps = spec.FindMember("during"); steps != nullptr) {
            if (spec.FindMember("stream") == nullptr || spec.FindMember("error") != nullptr) {
                return Fail(what + " during needs a stream: its steps run while the plug-in reads it");
            }
            if (!Steps(*steps, {}, during.steps, what + " during")) return false;
            for (const Step& step : during.steps) {
                if (kDuringSteps.count(step.kind) == 0) {
                    return Fail(what + " during: " + step.Label() + ": only create, update, delete, set, event and "
                                "advance run during a read");
                }
            }
        }
        if (const BindingProperty* read = spec.FindMember("during-read"); read != nullptr) {
            if (spec.FindMember("during") == nullptr) return Fail(what + " during-read needs during");
            if (read->Kind() != BindingKind::Unsigned || read->AsUnsigned() == 0 || read->AsUnsigned() > 0xFFFFFFFFu) {
                return Fail(what + " during-read must be a read's number, from 1");
            }
            during.afterRead = static_cast<uint32_t>(read->AsUnsigned());
        }
        const BindingProperty* error = spec.FindMember("error");
        const BindingProperty* status = spec.FindMember("status");
        const BindingProperty* stream = spec.FindMember("stream");
        if (error != nullptr) {
            if (!Text(*error, what + " error", 0)) return false;
            answer = Host::Answer::Error(static_cast<uint32_t>(status != nullptr ? status->AsUnsigned(500) : 500),
                                         std::string(error->AsString()));
            return true;
        }
        answer = Host::Answer::Body(spec.GetMember("body"));
        if (status != nullptr) answer.status = static_cast<uint32_t>(status->AsUnsigned());
        if (stream != nullptr) {
            if (stream->Kind() != BindingKind::Unsigned || stream->AsUnsigned() == 0 ||
                stream->AsUnsigned() > 0xFFFFFFFFu) {
                return Fail(what + " stream must be a positive number of bytes");
            }
            answer.streamChunk = static_cast<uint32_t>(stream->AsUnsigned());
        }
        return true;
    }

    bool Endpoints(const BindingProperty& list, Scenario& scenario) {
        if (list.Kind() != BindingKind::Collection) return Fail("endpoints must be a list");
        for (std::size_t i = 0; i < list.Count(); ++i) {
            const BindingProperty& spec = list.GetElement(i);
            const std::string what = "endpoint " + std::to_string(i + 1);
            if (!CheckKeys(spec, {"method", "path", "respond", "respond-sequence"}, what, 0)) return false;
            Endpoint endpoint;
            endpoint.method = MethodCode(spec.GetMember("method").AsString("GET"));
            if (endpoint.method == 0) return Fail(what + " has an unknown method " + Quote(spec.GetMember("method").AsString()));
            if (!Text(spec.GetMember("path"), what + " path", 0)) return false;
            endpoint.path = spec.GetMember("path").AsString();
            const BindingProperty* one = spec.FindMember("respond");
            const BindingProperty* sequence = spec.FindMember("respond-sequence");
            if ((one == nullptr) == (sequence == nullptr)) return Fail(what + " needs respond or respond-sequence");
            if (one != nullptr) {
                Host::Answer answer;
                DuringRead during;
                if (!Answer(*one, what + " respond", answer, during)) return false;
                endpoint.answers.push_back(std::move(answer));
                endpoint.during.push_back(std::move(during));
            } else {
                if (sequence->Kind() != BindingKind::Collection || sequence->Count() == 0) {
                    return Fail(what + " respond-sequence must be a list of answers");
                }
                for (std::size_t a = 0; a < sequence->Count(); ++a) {
                    Host::Answer answer;
                    DuringRead during;
                    if (!Answer(sequence->GetElement(a), what + " answer " + std::to_string(a + 1), answer, during)) {
                        return false;
                    }
                    endpoint.answers.push_back(std::move(answer));
                    endpoint.during.push_back(std::move(during));
                }
            }
            scenario.endpoints.push_back(std::move(endpoint));
        }
        return true;
    }

    bool StepArguments(Step& step, const BindingProperty& arguments) {
        const std::string what = step.Label();
        const StepRule* rule = nullptr;
        for (const StepRule& candidate : StepRules()) {
            if (candidate.kind == step.kind) rule = &candidate;
        }
        if (rule == nullptr) return Fail(what + ": unknown step " + Quote(step.kind), step.line);
        if (step.kind == "advance") {
            const std::optional<uint64_t> duration =
                arguments.Kind() == BindingKind::String ? ParseDuration(arguments.AsString())
                : arguments.Kind() == BindingKind::Unsigned ? ParseDuration(std::to_string(arguments.AsUnsigned()))
                                                            : std::nullopt;
            if (!duration) return Fail(what + ": a duration such as \"250ms\", \"90s\" or \"10m\" is needed", step.line);
            step.duration = *duration;
            return true;
        }
        if (rule->keys.empty()) {
            // `start`, `start:` (null) and `start: {}` all say the same.
            const bool none = arguments.IsEmpty() || (arguments.Kind() == BindingKind::Structure && arguments.Count() == 0);
            return none ? true : Fail(what + ": takes no arguments", step.line);
        }
        if (arguments.IsEmpty() && rule->required.empty()) return true;
        if (!CheckKeys(arguments, rule->keys, what, step.line)) return false;
        for (std::string_view key : rule->required) {
            if (arguments.FindMember(key) == nullptr) return Fail(what + ": " + Quote(key) + " is required", step.line);
        }
        for (std::string_view key : {"path", "name", "uri", "text", "event", "function", "custom-method", "body",
                                     "body-hex", "content-type"}) {
            if (step.kind != "call" && (key == "body" || key == "function")) continue;
            const BindingProperty* value = arguments.FindMember(key);
            if (value != nullptr && !Text(*value, what + ": " + Quote(key), step.line)) return false;
        }
        if (const BindingProperty* method = arguments.FindMember("method"); method != nullptr) {
            if (MethodCode(method->AsString()) == 0 && !(step.kind == "call" && IsCallOnlyMethod(method->AsString()))) {
                return Fail(what + ": unknown method " + Quote(method->AsString()), step.line);
            }
        }
        if (const BindingProperty* level = arguments.FindMember("level"); level != nullptr) {
            if (kLogLevels.count(level->AsString()) == 0) {
                return Fail(what + ": the level is one of OKAY, WARN, ERROR, ALWAYS", step.line);
            }
        }
        if (const BindingProperty* type = arguments.FindMember("type"); type != nullptr) {
            if (kEventTypes.count(type->AsString()) == 0) {
                return Fail(what + ": the type is one of Create, Update, Delete", step.line);
            }
        }
        for (std::string_view key : {"count", "at-most"}) {
            const BindingProperty* number = arguments.FindMember(key);
            if (number != nullptr && number->Kind() != BindingKind::Unsigned) {
                return Fail(what + ": " + std::string(key) + " must be a number", step.line);
            }
        }
        if (const BindingProperty* whole = arguments.FindMember("whole-run");
            whole != nullptr && whole->Kind() != BindingKind::Bool) {
            return Fail(what + ": whole-run must be true or false", step.line);
        }
        if (step.kind == "event" && !EventArguments(step, arguments)) return false;
        if (const BindingProperty* params = arguments.FindMember("params"); params != nullptr) {
            if (params->Kind() != BindingKind::Collection) return Fail(what + ": params must be a list", step.line);
        }
        if (step.kind == "call" && !CallArguments(step, arguments)) return false;
        if (step.kind == "expect-response") {
            if (const BindingProperty* status = arguments.FindMember("status");
                status != nullptr && status->Kind() != BindingKind::Unsigned) {
                return Fail(what + ": status must be a number", step.line);
            }
            if (const BindingProperty* failed = arguments.FindMember("failed");
                failed != nullptr && failed->Kind() != BindingKind::Bool) {
                return Fail(what + ": failed must be true or false", step.line);
            }
        }
        step.arguments = arguments;
        return true;
    }

    // A whole payload (any value, or a hostile one by name) replaces the
    // resource event the host would build from uri, type and data.
    bool EventArguments(const Step& step, const BindingProperty& arguments) {
        const std::string what = step.Label();
        const bool whole = arguments.FindMember("payload") != nullptr || arguments.FindMember("hostile") != nullptr;
        if (arguments.FindMember("payload") != nullptr && arguments.FindMember("hostile") != nullptr) {
            return Fail(what + ": payload and hostile exclude each other", step.line);
        }
        for (std::string_view key : {"uri", "type", "data"}) {
            if (whole && arguments.FindMember(key) != nullptr) {
                return Fail(what + ": " + Quote(key) + " is part of a resource event; a payload replaces it", step.line);
            }
        }
        if (const BindingProperty* hostile = arguments.FindMember("hostile"); hostile != nullptr) {
            if (FindHostilePayload(hostile->AsString()) == nullptr) {
                return Fail(what + ": no hostile payload named " + Quote(hostile->AsString()), step.line);
            }
        }
        return true;
    }

    bool CallArguments(const Step& step, const BindingProperty& arguments) {
        const std::string what = step.Label();
        if (const BindingProperty* headers = arguments.FindMember("headers"); headers != nullptr) {
            if (headers->Kind() != BindingKind::Structure) return Fail(what + ": headers must be a map", step.line);
            for (const auto& [name, value] : *headers->StructureMembers()) {
                if (value.Kind() != BindingKind::String) {
                    return Fail(what + ": header " + Quote(name->View()) + " must be a text", step.line);
                }
            }
        }
        if (const BindingProperty* values = arguments.FindMember("values"); values != nullptr) {
            if (values->Kind() != BindingKind::Collection) return Fail(what + ": values must be a list", step.line);
            for (std::size_t i = 0; i < values->Count(); ++i) {
                const std::string entry = what + ": value " + std::to_string(i + 1);
                if (!CheckKeys(values->GetElement(i), {"name", "value"}, entry, step.line)) return false;
                const BindingProperty* name = values->GetElement(i).FindMember("name");
                if (name != nullptr && !Text(*name, entry + " name", step.line)) return false;
            }
        }
        if (arguments.FindMember("body") != nullptr && arguments.FindMember("body-hex") != nullptr) {
            return Fail(what + ": body and body-hex exclude each other", step.line);
        }
        if (const BindingProperty* hex = arguments.FindMember("body-hex"); hex != nullptr) {
            if (!HexBytes(hex->AsString())) return Fail(what + ": body-hex must be pairs of hexadecimal digits", step.line);
        }
        return true;
    }

    bool Steps(const BindingProperty& list, const std::vector<std::size_t>& lines, std::vector<Step>& steps,
               const std::string& what = "steps") {
        if (list.Kind() != BindingKind::Collection) return Fail(what + " must be a list");
        const bool linesKnown = lines.size() == list.Count();
        for (std::size_t i = 0; i < list.Count(); ++i) {
            const BindingProperty& item = list.GetElement(i);
            Step step;
            step.number = i + 1;
            step.line = linesKnown ? lines[i] : 0;
            if (item.Kind() == BindingKind::String) {
                step.kind = item.AsString();
                if (!StepArguments(step, BindingProperty())) return false;
            } else if (item.Kind() == BindingKind::Structure && item.Count() == 1) {
                const auto& [name, arguments] = *item.StructureMembers()->begin();
                step.kind = name->View();
                if (!StepArguments(step, arguments)) return false;
            } else {
                return Fail(step.Label() + ": a step is a map with one key, the step's name", step.line);
            }
            steps.push_back(std::move(step));
        }
        return true;
    }

    bool Load(const std::string& text, const BindingProperty& root, Scenario& scenario) {
        if (!CheckKeys(root, kTopLevelKeys, "the scenario", 0)) return false;
        scenario.name = root.GetMember("name").AsString();
        if (const BindingProperty* plugin = root.FindMember("plugin"); plugin != nullptr) {
            if (!Text(*plugin, "plugin", 0)) return false;
            scenario.plugin = std::string(plugin->AsString());
        }
        if (const BindingProperty* version = root.FindMember("host-version"); version != nullptr) {
            unsigned major = 0;
            unsigned minor = 0;
            unsigned patch = 0;
            char extra = 0;
            const std::string textVersion(version->AsString());
            if (std::sscanf(textVersion.c_str(), "%u.%u.%u%c", &major, &minor, &patch, &extra) != 3) {
                return Fail("host-version must be a text such as \"18.0.0\"");
            }
            scenario.hostVersion = Host::HostVersion{major, minor, patch};
        }
        if (const BindingProperty* resources = root.FindMember("resources"); resources != nullptr) {
            if (resources->Kind() != BindingKind::Structure) return Fail("resources must be a map of path to value");
            for (const auto& [path, value] : *resources->StructureMembers()) {
                scenario.resources.emplace_back(std::string(path->View()), value);
            }
        }
        if (const BindingProperty* endpoints = root.FindMember("endpoints"); endpoints != nullptr) {
            if (!Endpoints(*endpoints, scenario)) return false;
        }
        const BindingProperty* steps = root.FindMember("steps");
        if (steps == nullptr) return Fail("the scenario has no steps");
        return Steps(*steps, StepLines(text), scenario.steps);
    }

private:
    ScenarioError& error_;
};

}  // namespace

std::string ScenarioError::Text() const {
    std::string text = file;
    if (line != 0) text += ":" + std::to_string(line);
    if (line != 0 && column != 0) text += ":" + std::to_string(column);
    return text + ": " + message;
}

std::string Step::Label() const {
    std::string label = "step " + std::to_string(number) + " (" + (kind.empty() ? "?" : kind);
    if (line != 0) label += ", line " + std::to_string(line);
    return label + ")";
}

bool IsCallOnlyMethod(std::string_view name) { return CallMethodCode(name).has_value() && MethodCode(name) == 0; }

std::optional<uint32_t> CallMethodCode(std::string_view name) {
    std::string upper(name);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper == "ANY") return 0u;
    if (upper == "CUSTOM") return 8u;
    const uint32_t code = MethodCode(name);
    if (code != 0) return code;
    return std::nullopt;
}

std::optional<std::string> HexBytes(std::string_view hex) {
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string bytes;
    std::size_t i = 0;
    while (i < hex.size()) {
        if (hex[i] == ' ') {
            ++i;
            continue;
        }
        if (i + 1 >= hex.size() || digit(hex[i]) < 0 || digit(hex[i + 1]) < 0) return std::nullopt;
        bytes += static_cast<char>(digit(hex[i]) * 16 + digit(hex[i + 1]));
        i += 2;
    }
    return bytes;
}

uint32_t MethodCode(std::string_view name) {
    constexpr std::string_view kNames[] = {"DELETE", "GET", "HEAD", "OPTIONS", "PATCH", "POST", "PUT"};
    std::string upper(name);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
        if (upper == kNames[i]) return static_cast<uint32_t>(i + 1);
    }
    return 0;
}

bool ReadWholeFile(const std::string& file, std::string& text) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) return false;
    text.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    return true;
}

bool LoadScenario(const std::string& file, Scenario& scenario, ScenarioError& error) {
    std::string text;
    if (!ReadWholeFile(file, text)) {
        scenario = Scenario{};
        scenario.file = file;
        error = ScenarioError{file, 0, 0, "cannot read the file"};
        return false;
    }
    return LoadScenarioText(file, text, scenario, error);
}

bool LoadScenarioText(const std::string& file, const std::string& text, Scenario& scenario, ScenarioError& error) {
    scenario = Scenario{};
    scenario.file = file;
    error = ScenarioError{file, 0, 0, {}};
    const BindingResult parsed = EndsWith(file, ".json") ? DeserializeJson(text.c_str()) : DeserializeYaml(text);
    if (!parsed.ok) {
        PlaceReaderError(text, parsed.Message(), error);
        return false;
    }
    if (!Loader(file, error).Load(text, parsed.value, scenario)) return false;
    if (scenario.name.empty()) {
        const std::size_t slash = file.find_last_of("/\\");
        scenario.name = file.substr(slash == std::string::npos ? 0 : slash + 1);
    }
    return true;
}

}  // namespace Vorn::HostSimulator

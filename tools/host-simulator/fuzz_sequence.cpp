#include "host-simulator/fuzz_sequence.h"

#include "host-simulator/hostile_payloads.h"

namespace Vorn::HostSimulator {

namespace {

constexpr std::string_view kResourceEventPrefix = "OnJsonApiEvent_";
const char* const kAdvances[] = {"10ms", "250ms", "1s", "30s", "5m", "1h"};
const uint64_t kFailureStatuses[] = {400, 404, 409, 500, 503};

// Names of the hostile payloads, read once.
const std::vector<std::string>& HostileNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        HostilePayloads payloads;
        for (const HostilePayload& payload : payloads.All()) all.push_back(payload.name);
        return all;
    }();
    return names;
}

BindingProperty Step(std::string_view kind, BindingProperty arguments) {
    BindingProperty step;
    step.Member(kind) = std::move(arguments);
    return step;
}

BindingProperty Word(std::string_view kind) {
    BindingProperty step;
    step.SetString(kind);
    return step;
}

class Generator {
public:
    Generator(const FuzzTarget& target, const PayloadShapes& shapes, bool mutated, SeededRandom& random)
        : target_(target), shapes_(shapes), mutated_(mutated), random_(random) {}

    // Data fit for the path; now and then a list of them, as a collection
    // resource is.
    BindingProperty Data(std::string_view path) {
        const bool spoil = mutated_ && random_.Chance(1, 2);
        const std::vector<std::string> types = shapes_.TypesFor(path);
        if (types.empty()) return shapes_.Loose(spoil, random_);
        if (!random_.Chance(1, 4)) return shapes_.Value(random_.Pick(types), spoil, random_);
        BindingProperty list;
        list.MakeCollection();
        for (uint64_t i = 1 + random_.Below(3); i > 0; --i) list.AppendElement() = shapes_.Value(random_.Pick(types), spoil, random_);
        return list;
    }

    BindingProperty PathStep(std::string_view kind, const std::string& path, bool withBody) {
        BindingProperty arguments;
        arguments.Member("path").SetString(path);
        if (withBody) arguments.Member("body") = Data(path);
        return Step(kind, std::move(arguments));
    }

    // An event to a subscribed name: the host's own resource event for its
    // path, a whole payload of the table's type, or a hostile one.
    BindingProperty Event() {
        const auto& [name, payloadType] = random_.Pick(target_.events);
        std::string path = PathOfEventName(name);
        if (mutated_ && random_.Chance(1, 5)) {
            BindingProperty arguments;
            arguments.Member("name").SetString(name);
            arguments.Member("hostile").SetString(random_.Pick(HostileNames()));
            return Step("event", std::move(arguments));
        }
        if (!path.empty() && !(mutated_ && random_.Chance(1, 4))) {
            // Deeper paths share the name of the first elements.
            if (random_.Chance(1, 4)) path += "/" + std::to_string(random_.Below(100));
            const uint64_t kind = random_.Below(8);
            return PathStep(kind == 0 ? "create" : kind == 1 ? "delete" : "update", path, kind != 1);
        }
        BindingProperty arguments;
        arguments.Member("name").SetString(name);
        BindingProperty& payload = arguments.Member("payload");
        payload = shapes_.Value(payloadType, mutated_, random_);
        if (!path.empty() && payload.Kind() == BindingKind::Structure && random_.Chance(2, 3)) {
            payload.Member("uri").SetString(path);
            payload.Member("data") = Data(path);
        }
        return Step("event", std::move(arguments));
    }

    BindingProperty Answer(const std::string& path, bool inSequence) {
        BindingProperty answer;
        const uint64_t kind = random_.Below(inSequence ? 4 : 3);
        if (kind == 0) {
            answer.Member("status").SetUnsigned(kFailureStatuses[random_.Below(std::size(kFailureStatuses))]);
            answer.Member("error").SetString("Failed by the fuzzer");
            return answer;
        }
        answer.Member("body") = Data(path);
        if (kind == 1) return answer;
        answer.Member("stream").SetUnsigned(1 + random_.Below(64));
        if (target_.events.empty() || !random_.Chance(1, 2)) return answer;
        // Re-entry: the host delivers while the plug-in waits in a read.
        BindingProperty& during = answer.Member("during");
        during.MakeCollection();
        for (uint64_t i = 1 + random_.Below(2); i > 0; --i) during.AppendElement() = Event();
        if (random_.Chance(1, 3)) during.AppendElement() = Step("advance", Word(random_.Pick(Advances())));
        answer.Member("during-read").SetUnsigned(1 + random_.Below(3));
        return answer;
    }

    std::vector<BindingProperty> Endpoints() {
        std::vector<BindingProperty> endpoints;
        for (const auto& [method, path] : target_.requests) {
            if (!random_.Chance(1, 2)) continue;
            BindingProperty endpoint;
            endpoint.Member("method").SetString(method);
            endpoint.Member("path").SetString(path);
            BindingProperty& answers = endpoint.Member("respond-sequence");
            answers.MakeCollection();
            for (uint64_t i = 1 + random_.Below(3); i > 0; --i) answers.AppendElement() = Answer(path, true);
            endpoints.push_back(std::move(endpoint));
        }
        return endpoints;
    }

    std::vector<BindingProperty> Steps(std::size_t maxSteps) {
        std::vector<BindingProperty> steps{Word("start")};
        bool started = true;
        const std::size_t count = 1 + static_cast<std::size_t>(random_.Below(maxSteps));
        std::vector<std::string> stored;
        for (const auto& [method, path] : target_.requests) {
            if (method == "GET") stored.push_back(path);
        }
        while (steps.size() < count) {
            const uint64_t roll = random_.Below(100);
            if (!started) {
                if (roll < 50) {
                    steps.push_back(Word("start"));
                    started = true;
                    continue;
                }
            }
            if (roll < 62 && !target_.events.empty()) {
                steps.push_back(Event());
            } else if (roll < 74 && !stored.empty()) {
                steps.push_back(PathStep("set", random_.Pick(stored), true));
            } else if (roll < 90) {
                steps.push_back(Step("advance", Word(random_.Pick(Advances()))));
            } else if (roll < 95) {
                steps.push_back(Word(started ? "stop" : "start"));
                started = !started;
            } else {
                steps.push_back(Word("restart"));
                started = true;
            }
        }
        return steps;
    }

private:
    static const std::vector<std::string>& Advances() {
        static const std::vector<std::string> advances(std::begin(kAdvances), std::end(kAdvances));
        return advances;
    }

    const FuzzTarget& target_;
    const PayloadShapes& shapes_;
    bool mutated_;
    SeededRandom& random_;
};

}  // namespace

void FuzzTarget::AddEvent(const std::string& name, const BindingProperty& description) {
    for (const auto& known : events) {
        if (known.first == name) return;
    }
    std::string payloadType;
    std::size_t longest = 0;
    for (const BindingProperty& event : description.GetMember("events").Elements()) {
        const std::string_view candidate = event.GetMember("name").AsString();
        if (candidate.size() > longest && name.compare(0, candidate.size(), candidate) == 0) {
            longest = candidate.size();
            payloadType = event.GetMember("payloadType").AsString();
        }
    }
    events.emplace_back(name, payloadType);
}

std::string PathOfEventName(std::string_view name) {
    if (name.substr(0, kResourceEventPrefix.size()) != kResourceEventPrefix) return {};
    std::string path = "/" + std::string(name.substr(kResourceEventPrefix.size()));
    for (char& c : path) {
        if (c == '_') c = '/';
    }
    return path.size() > 1 ? path : std::string();
}

bool EndsStarted(const std::vector<BindingProperty>& steps) {
    bool started = false;
    for (const BindingProperty& step : steps) {
        const std::string_view kind = step.AsString();
        if (kind == "start" || kind == "restart") started = true;
        if (kind == "stop") started = false;
    }
    return started;
}

FuzzSequence GenerateSequence(const FuzzTarget& target, const PayloadShapes& shapes, bool mutated, SeededRandom& random,
                              std::size_t maxSteps) {
    Generator generator(target, shapes, mutated, random);
    FuzzSequence sequence;
    sequence.endpoints = generator.Endpoints();
    sequence.steps = generator.Steps(maxSteps);
    return sequence;
}

BindingProperty ScenarioDocument(const FuzzSequence& sequence, const std::string& name, const std::string& plugin,
                                 const std::vector<BindingProperty>& checks) {
    BindingProperty document;
    document.Member("name").SetString(name);
    document.Member("plugin").SetString(plugin);
    if (!sequence.endpoints.empty()) {
        BindingProperty& endpoints = document.Member("endpoints");
        for (const BindingProperty& endpoint : sequence.endpoints) endpoints.AppendElement() = endpoint;
    }
    BindingProperty& steps = document.Member("steps");
    steps.MakeCollection();
    for (const BindingProperty& step : sequence.steps) steps.AppendElement() = step;
    for (const BindingProperty& check : checks) steps.AppendElement() = check;
    return document;
}

}  // namespace Vorn::HostSimulator

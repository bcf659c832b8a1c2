#include "host-simulator/scenario_runner.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>

#include "host-simulator/hostile_payloads.h"
#include "host-simulator/memory_figures.h"
#include "host-simulator/value_match.h"
#include "host/host_trace.h"

namespace Vorn::HostSimulator {

namespace {

constexpr const char* kIndent = "        ";

Host::EventType EventTypeNamed(std::string_view name) {
    if (name == "Create") return Host::EventType::Create;
    if (name == "Delete") return Host::EventType::Delete;
    return Host::EventType::Update;
}

int32_t LevelNamed(std::string_view name) {
    constexpr std::string_view kLevels[] = {"OKAY", "WARN", "ERROR", "ALWAYS"};
    for (int32_t level = 0; level < 4; ++level) {
        if (name == kLevels[level]) return level;
    }
    return -1;
}

std::string RequestText(const Host::RecordedRequest& request) {
    std::string text = Host::MethodText(request.method) + " " + request.path;
    if (!request.parameters.empty()) {
        text += " params=[";
        for (std::size_t i = 0; i < request.parameters.size(); ++i) {
            if (i != 0) text += ",";
            text += Host::JsonText(request.parameters[i].value);
        }
        text += "]";
    }
    return text;
}

// What an expectation step asks for, in a line: "POST /path with body {...}".
std::string Wanted(const Step& step) {
    const BindingProperty& a = step.arguments;
    std::string text;
    auto add = [&](const std::string& part) { text += text.empty() ? part : " " + part; };
    if (const auto* level = a.FindMember("level")) add(std::string(level->AsString()));
    if (const auto* method = a.FindMember("method")) add(std::string(method->AsString()));
    if (const auto* path = a.FindMember("path")) add(std::string(path->AsString()));
    if (const auto* event = a.FindMember("event")) add(std::string(event->AsString()));
    if (const auto* logText = a.FindMember("text")) add("\"" + std::string(logText->AsString()) + "\"");
    if (const auto* body = a.FindMember("body")) add("with body " + Host::JsonText(*body));
    if (const auto* params = a.FindMember("params")) add("with params " + Host::JsonText(*params));
    if (const auto* count = a.FindMember("count")) add("count " + std::to_string(count->AsUnsigned()));
    return text;
}

// A scenario names its plug-in by a path relative to the scenario file, or
// by a bare library name ("vorn-echo") found beside the default plug-in.
constexpr int32_t kErrorLevel = 2;

std::string PluginPath(const std::string& named, const std::string& scenarioFile, const std::string& defaultPlugin) {
    const std::filesystem::path path(named);
    if (!path.has_parent_path() && !path.has_extension()) {
        const std::filesystem::path beside(defaultPlugin);
        return (beside.parent_path() / (named + beside.extension().string())).string();
    }
    if (path.is_absolute()) return named;
    return (std::filesystem::path(scenarioFile).parent_path() / path).string();
}

int64_t RealMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

class Runner {
public:
    Runner(const Scenario& scenario, const RunOptions& options)
        : scenario_(scenario), options_(options), host_(scenario.hostVersion) {
        result_.name = scenario.name;
        result_.file = scenario.file;
        plugin_ = !options.plugin.empty() ? options.plugin
                  : scenario.plugin     ? PluginPath(*scenario.plugin, scenario.file, options.defaultPlugin)
                                        : options.defaultPlugin;
    }

    ScenarioResult Run() {
        const auto started = std::chrono::steady_clock::now();
        result_.realStart = RealMilliseconds();
        result_.plugin = plugin_;
        Print("scenario: " + scenario_.name + " (" + scenario_.file + ")\n");
        Print("plugin:   " + plugin_ + "\n");
        SetUpWorld();
        if (options_.fault != Host::InjectedFault::None) host_.InjectFault(options_.faultAt, options_.fault);
        for (const Step& step : scenario_.steps) {
            if (options_.stepStarted) options_.stepStarted(step);
            StepReport& report = result_.steps.emplace_back();
            report.number = step.number;
            report.line = step.line;
            report.kind = step.kind;
            report.text = StepText(step);
            report.traceBegin = host_.Trace().size();
            bool ok = step.IsExpectation() ? Expect(step) : Execute(step);
            report.traceEnd = host_.Trace().size();
            if (ok && host_.MissedDuringCount() != missedDuring_) {
                missedDuring_ = host_.MissedDuringCount();
                ok = Stop(step, Outcome::Failed,
                          "the steps of an answer's during never ran: the plug-in did not yield after that read");
            }
            FlushTrace();
            if (!ok) break;
        }
        // Ends with a stop, so that what the plug-in still holds can be seen.
        if (host_.IsStarted()) host_.Stop();
        if (host_.IsLoaded() && everStarted_ && hasStatistics_) {
            result_.memoryMeasured = true;
            const PluginMemoryStatistics statistics = host_.MemoryStatistics();
            result_.inUseAfterStop = InUse(statistics);
            result_.allocations = Counters(statistics)[3];
        }
        for (const Host::RecordedLogLine& line : host_.LogLines()) {
            if (line.level == kErrorLevel) result_.errorLines.push_back(line.text);
        }
        result_.interactions = host_.Interactions();
        result_.subscriptions = host_.Subscriptions();
        host_.Unload();
        FlushTrace();
        result_.hostTrace = host_.Trace();
        result_.hostMarks = host_.TraceMarks();
        result_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        result_.realEnd = RealMilliseconds();
        return result_;
    }

private:
    void Print(const std::string& text) {
        result_.transcript += text;
        if (options_.trace != nullptr) std::fputs(text.c_str(), options_.trace);
    }

    // The report of the step under way.
    StepReport& Current() { return result_.steps.back(); }

    void Held(const std::string& detail) {
        Current().verdict = StepReport::Verdict::Held;
        Current().detail = detail;
    }

    void FlushTrace() {
        const auto& trace = host_.Trace();
        for (; shown_ < trace.size(); ++shown_) Print(kIndent + trace[shown_] + "\n");
    }

    // Ends the scenario: Failed for an expectation or the plug-in, Error for
    // what keeps the scenario from running (a library that does not load).
    bool Stop(const Step& step, Outcome outcome, const std::string& message) {
        result_.outcome = outcome;
        const std::string where = scenario_.file + (step.line != 0 ? ":" + std::to_string(step.line) : "") + ": " +
                                  step.Label() + ": " + message;
        result_.messages.push_back(where);
        Current().verdict = outcome == Outcome::Failed ? StepReport::Verdict::Failed : StepReport::Verdict::Error;
        Current().detail = message;
        Print(std::string(kIndent) + (outcome == Outcome::Failed ? "FAILED: " : "ERROR: ") + message + "\n");
        return false;
    }

    void SetUpWorld() {
        for (const auto& [path, value] : scenario_.resources) host_.SetResource(path, value);
        for (const Endpoint& endpoint : scenario_.endpoints) {
            auto next = std::make_shared<std::size_t>(0);
            std::vector<Host::Answer> answers = endpoint.answers;
            for (std::size_t i = 0; i < answers.size() && i < endpoint.during.size(); ++i) {
                const DuringRead& during = endpoint.during[i];
                if (during.steps.empty()) continue;
                answers[i].during = [this, steps = &during.steps] {
                    for (const Step& step : *steps) {
                        Print(std::string(kIndent) + "during the read: " + Describe(step) + "\n");
                        Act(step);
                    }
                };
                answers[i].duringAfterRead = during.afterRead;
            }
            host_.SetEndpoint(endpoint.method, endpoint.path, [answers, next](const Host::RecordedRequest&) {
                const std::size_t index = std::min(*next, answers.size() - 1);
                ++*next;
                return answers[index];
            });
        }
    }

    bool LoadAndStart(const Step& step) {
        // A stopped plug-in object is gone: starting again loads the library
        // again, as a host does.
        if (stopped_) host_.Unload();
        stopped_ = false;
        if (!host_.IsLoaded()) {
            std::string error;
            if (!host_.Load(plugin_, &error)) return Stop(step, Outcome::Error, "cannot load the plug-in: " + error);
            // Read now: the record's callbacks live in the plug-in object,
            // which stop destroys (the host keeps its own copy).
            hasStatistics_ = host_.Record().callbacks != nullptr && host_.Record().callbacks->memoryStatistics != nullptr;
            result_.inUseAfterLoading = InUse(host_.MemoryStatistics());
        }
        everStarted_ = true;
        if (!host_.Start()) return Stop(step, Outcome::Failed, "the plug-in's start returned false");
        return true;
    }

    // "update /path", "advance 1.000s", "call Echo /x".
    static std::string Describe(const Step& step) {
        const BindingProperty& a = step.arguments;
        const std::string path(a.GetMember("path").AsString());
        std::string detail = path;
        if (step.kind == "advance") detail = Host::SecondsText(static_cast<double>(step.duration) * 1e-9);
        if (step.kind == "event") detail = std::string(a.GetMember("name").AsString());
        if (step.kind == "call") detail = std::string(a.GetMember("function").AsString()) + " " + path;
        return step.kind + (detail.empty() ? "" : " " + detail);
    }

    static std::string StepText(const Step& step) {
        if (!step.IsExpectation()) return Describe(step);
        if (step.kind == "expect-response") return step.kind + " " + Host::JsonText(step.arguments);
        if (step.kind == "expect-memory") {
            return "expect-memory at most " + std::to_string(step.arguments.GetMember("at-most").AsUnsigned()) + " bytes";
        }
        return step.kind + " " + Wanted(step);
    }

    bool Execute(const Step& step) {
        Print("step " + std::to_string(step.number) + "  " + Describe(step) + "\n");
        window_ = Window{host_.Requests().size(), host_.LogLines().size(), host_.Subscriptions().size(), step.number};
        if (step.kind == "start") return LoadAndStart(step);
        if (step.kind == "stop") {
            host_.Stop();
            stopped_ = true;
            return true;
        }
        if (step.kind == "restart") {
            host_.Unload();
            return LoadAndStart(step);
        }
        if (step.kind == "call") return Call(step);
        Act(step);
        return true;
    }

    // What the host does of itself: resources, events, time. Also run while
    // the plug-in waits in a streamed read.
    void Act(const Step& step) {
        const BindingProperty& a = step.arguments;
        const std::string path(a.GetMember("path").AsString());
        if (step.kind == "create") {
            host_.Create(path, a.GetMember("body"));
        } else if (step.kind == "update") {
            host_.Update(path, a.GetMember("body"));
        } else if (step.kind == "delete") {
            host_.Delete(path);
        } else if (step.kind == "set") {
            host_.SetResource(path, a.GetMember("body"));
        } else if (step.kind == "event" && a.FindMember("payload") != nullptr) {
            host_.DeliverEvent(std::string(a.GetMember("name").AsString()), a.GetMember("payload"));
        } else if (step.kind == "event" && a.FindMember("hostile") != nullptr) {
            // The loader has checked the name.
            host_.DeliverFlatEvent(a.GetMember("name").AsCString(), FindHostilePayload(a.GetMember("hostile").AsString())->value);
        } else if (step.kind == "event") {
            const BindingProperty* data = a.FindMember("data");
            host_.DeliverResourceEvent(std::string(a.GetMember("name").AsString()), std::string(a.GetMember("uri").AsString()),
                                       EventTypeNamed(a.GetMember("type").AsString("Update")),
                                       data != nullptr ? std::optional<BindingProperty>(*data) : std::nullopt);
        } else if (step.kind == "advance") {
            host_.Advance(step.duration);
        }
    }

    bool Call(const Step& step) {
        const BindingProperty& a = step.arguments;
        Host::FunctionCall call;
        call.function = a.GetMember("function").AsString();
        call.path = a.GetMember("path").AsString();
        call.customMethod = a.GetMember("custom-method").AsString();
        const BindingProperty* method = a.FindMember("method");
        call.method = method != nullptr ? CallMethodCode(method->AsString()).value_or(0)
                      : call.customMethod.empty() ? uint32_t{kHostMethodGet}
                                                  : uint32_t{kHostMethodCustom};
        if (const BindingProperty* headers = a.FindMember("headers"); headers != nullptr) {
            for (const auto& [name, value] : *headers->StructureMembers()) {
                call.headers.emplace_back(std::string(name->View()), std::string(value.AsString()));
            }
        }
        if (const BindingProperty* values = a.FindMember("values"); values != nullptr) {
            for (const BindingProperty& entry : values->Elements()) {
                Host::RecordedParameter parameter;
                if (const BindingProperty* name = entry.FindMember("name"); name != nullptr) {
                    parameter.name = std::string(name->AsString());
                }
                parameter.value = entry.GetMember("value");
                call.values.push_back(std::move(parameter));
            }
        }
        if (const BindingProperty* body = a.FindMember("body"); body != nullptr) call.body = std::string(body->AsString());
        if (const BindingProperty* hex = a.FindMember("body-hex"); hex != nullptr) call.body = HexBytes(hex->AsString());
        if (const BindingProperty* type = a.FindMember("content-type"); type != nullptr) {
            call.contentType = std::string(type->AsString());
        }
        if (!host_.IsStarted()) return Stop(step, Outcome::Failed, "no started plug-in to call");
        lastCall_ = host_.CallFunction(call);
        if (!lastCall_->called) {
            return Stop(step, Outcome::Failed, "cannot call: " + lastCall_->error.value_or("no such function"));
        }
        return true;
    }

    // The last call's response as a map the scenario's expectation matches.
    BindingProperty ResponseValue() const {
        BindingProperty response;
        response.Member("status").SetUnsigned(lastCall_->status);
        response.Member("failed").SetBool(lastCall_->failed);
        if (lastCall_->error) response.Member("error").SetString(*lastCall_->error);
        if (!lastCall_->value.IsEmpty()) response.Member("result") = lastCall_->value;
        return response;
    }

    bool ExpectResponse(const Step& step) {
        Print("step " + std::to_string(step.number) + "  expect-response " + Host::JsonText(step.arguments) + " ... ");
        if (!lastCall_) {
            Print("\n");
            return Stop(step, Outcome::Failed, "no call was made before");
        }
        const BindingProperty response = ResponseValue();
        std::string why;
        const BindingProperty expected = step.arguments.IsEmpty() ? BindingProperty() : step.arguments;
        if (expected.IsEmpty() || ValueMatches(expected, &response, why)) {
            Print("ok\n");
            Held("");
            return true;
        }
        Print("\n");
        Current().expected = expected;
        Current().actual.push_back(response);
        return Stop(step, Outcome::Failed, why + "; the response: " + Host::JsonText(response));
    }

    bool CountMatches(const Step& step, std::size_t matches, const std::string& seen) {
        const BindingProperty* count = step.arguments.FindMember("count");
        const bool ok = count != nullptr ? matches == count->AsUnsigned() : matches > 0;
        Print("step " + std::to_string(step.number) + "  " + step.kind + " " + Wanted(step) + " ... ");
        if (ok) {
            const std::string found = std::to_string(matches) + (matches == 1 ? " match" : " matches");
            Print("ok (" + found + ")\n");
            Held(found);
            return true;
        }
        Print("\n");
        const std::string expected = count != nullptr ? std::to_string(count->AsUnsigned()) : "at least 1";
        const std::string since = step.arguments.GetMember("whole-run").AsBool() ? " in the whole run"
                                                                                 : " since step " + std::to_string(window_.step);
        return Stop(step, Outcome::Failed, "expected " + expected + ", found " + std::to_string(matches) + since + seen);
    }

    bool ExpectRequest(const Step& step, bool wantNone) {
        const BindingProperty& a = step.arguments;
        const BindingProperty* method = a.FindMember("method");
        const BindingProperty* path = a.FindMember("path");
        const BindingProperty* body = a.FindMember("body");
        const BindingProperty* params = a.FindMember("params");
        std::size_t matches = 0;
        std::string seen;
        const auto& requests = host_.Requests();
        for (std::size_t i = window_.requests; i < requests.size(); ++i) {
            const Host::RecordedRequest& request = requests[i];
            std::string why;
            bool match = true;
            if (method != nullptr && request.method != MethodCode(method->AsString())) match = false;
            if (path != nullptr && request.path != path->AsString()) match = false;
            // Requests of the method and path asked for are what a failed
            // expectation of a body or parameters is shown against.
            if (match && (body != nullptr || params != nullptr)) Current().actual.push_back(Compared(request, body != nullptr));
            if (match && body != nullptr) {
                const BindingProperty* single = request.parameters.size() == 1 ? &request.parameters[0].value : nullptr;
                match = ValueMatches(*body, single, why, "body");
            }
            if (match && params != nullptr) {
                BindingProperty values;
                values.MakeCollection();
                for (const Host::RecordedParameter& parameter : request.parameters) values.AppendElement() = parameter.value;
                match = ValueMatches(*params, &values, why, "params");
            }
            matches += match;
            seen += "\n" + std::string(kIndent) + "  " + RequestText(request) + (why.empty() ? "" : "  <- " + why);
        }
        if (body != nullptr) Current().expected = *body;
        else if (params != nullptr) Current().expected = *params;
        if (seen.empty()) seen = "\n" + std::string(kIndent) + "  (no requests)";
        else seen = ":" + seen;
        if (!wantNone) return CountMatches(step, matches, seen);
        Print("step " + std::to_string(step.number) + "  " + step.kind + " " + Wanted(step) + " ... ");
        if (matches == 0) {
            Print("ok\n");
            Held("");
            return true;
        }
        Print("\n");
        return Stop(step, Outcome::Failed, std::to_string(matches) + " such requests since step " +
                                               std::to_string(window_.step) + seen);
    }

    // What an expectation of a body or of parameters compares a request by.
    static BindingProperty Compared(const Host::RecordedRequest& request, bool body) {
        if (body) return request.parameters.size() == 1 ? request.parameters[0].value : BindingProperty();
        BindingProperty values;
        values.MakeCollection();
        for (const Host::RecordedParameter& parameter : request.parameters) values.AppendElement() = parameter.value;
        return values;
    }

    bool ExpectLog(const Step& step) {
        const BindingProperty* level = step.arguments.FindMember("level");
        const BindingProperty* text = step.arguments.FindMember("text");
        std::size_t matches = 0;
        std::string seen;
        const auto& lines = host_.LogLines();
        const bool wholeRun = step.arguments.GetMember("whole-run").AsBool();
        for (std::size_t i = wholeRun ? 0 : window_.logs; i < lines.size(); ++i) {
            const bool match = (level == nullptr || lines[i].level == LevelNamed(level->AsString())) &&
                               (text == nullptr || lines[i].text.find(text->AsString()) != std::string::npos);
            matches += match;
            seen += "\n" + std::string(kIndent) + "  " + Host::LevelText(lines[i].level) + " " + lines[i].text;
        }
        return CountMatches(step, matches, seen.empty() ? "\n" + std::string(kIndent) + "  (no log lines)" : ":" + seen);
    }

    bool ExpectSubscription(const Step& step) {
        const std::string_view event = step.arguments.GetMember("event").AsString();
        std::size_t matches = 0;
        std::string seen;
        const auto& subscriptions = host_.Subscriptions();
        for (std::size_t i = window_.subscriptions; i < subscriptions.size(); ++i) {
            matches += subscriptions[i].subscribe && subscriptions[i].eventName == event;
            seen += "\n" + std::string(kIndent) + "  " + (subscriptions[i].subscribe ? "subscribe " : "unsubscribe ") +
                    subscriptions[i].eventName;
        }
        return CountMatches(step, matches,
                            seen.empty() ? "\n" + std::string(kIndent) + "  (no subscriptions)" : ":" + seen);
    }

    // What a stopped plug-in still holds: its memory statistics' bytes in use.
    bool ExpectMemory(const Step& step) {
        const uint64_t allowed = step.arguments.GetMember("at-most").AsUnsigned();
        Print("step " + std::to_string(step.number) + "  expect-memory at most " + std::to_string(allowed) + " bytes ... ");
        std::string wrong;
        if (!host_.IsLoaded() || !everStarted_ || host_.IsStarted()) wrong = "expect-memory needs a plug-in started and then stopped";
        else if (!hasStatistics_) wrong = "the plug-in has no memory statistics";
        const uint64_t inUse = wrong.empty() ? InUse(host_.MemoryStatistics()) : 0;
        if (wrong.empty() && inUse <= allowed) {
            Print("ok (" + std::to_string(inUse) + ")\n");
            Held(std::to_string(inUse) + " bytes");
            return true;
        }
        Print("\n");
        if (wrong.empty()) {
            wrong = "LEAK: " + std::to_string(inUse) + " bytes in use after stop, more than the " +
                    std::to_string(allowed) + " allowed (" + std::to_string(result_.inUseAfterLoading) +
                    " after loading)";
        }
        return Stop(step, Outcome::Failed, wrong);
    }

    bool Expect(const Step& step) {
        if (step.kind == "expect-memory") return ExpectMemory(step);
        if (step.kind == "expect-request") return ExpectRequest(step, false);
        if (step.kind == "expect-no-request") return ExpectRequest(step, true);
        if (step.kind == "expect-log") return ExpectLog(step);
        if (step.kind == "expect-response") return ExpectResponse(step);
        return ExpectSubscription(step);
    }

    struct Window {
        std::size_t requests = 0;
        std::size_t logs = 0;
        std::size_t subscriptions = 0;
        std::size_t step = 0;
    };

    const Scenario& scenario_;
    const RunOptions& options_;
    Host::SimulatedHost host_;
    std::string plugin_;
    ScenarioResult result_;
    Window window_;
    std::size_t shown_ = 0;
    bool stopped_ = false;
    bool everStarted_ = false;
    bool hasStatistics_ = false;
    uint32_t missedDuring_ = 0;
    std::optional<Host::CallResult> lastCall_;
};

}  // namespace

ScenarioResult RunScenario(const Scenario& scenario, const RunOptions& options) {
    return Runner(scenario, options).Run();
}

}  // namespace Vorn::HostSimulator

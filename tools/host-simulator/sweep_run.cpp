#include "host-simulator/sweep_run.h"

#include "host-simulator/report.h"

#include <sstream>

#include "host-simulator/scenario.h"

namespace Vorn::HostSimulator {

const char* InteractionKindWord(Host::Interaction::Kind kind) {
    switch (kind) {
        case Host::Interaction::Kind::Answer: return "answer";
        case Host::Interaction::Kind::Read: return "read";
        case Host::Interaction::Kind::Task: return "task";
    }
    return "?";
}

bool CleanRunUnusable(const SweepRun& clean, const SweepOptions& options, SweepCounts& counts, std::FILE* out,
                      JunitSuite* suite) {
    if (!clean.Finished()) {
        ++counts.runs;
        ++(clean.Hung() ? counts.hangs : counts.crashes);
        const std::string failure = clean.Failure(options.timeLimitSeconds);
        std::fprintf(out, "  the clean run failed: %s\n\n", failure.c_str());
        AddSweepCase(suite, "clean run", clean.child.seconds, (clean.Hung() ? "HANG: " : "CRASH: ") + failure);
        return true;
    }
    if (clean.outcome == "error") {
        ++counts.errors;
        const std::string why = clean.messages.empty() ? "" : clean.messages.front();
        std::fprintf(out, "  cannot run: %s\n\n", why.c_str());
        AddSweepCase(suite, "clean run", clean.child.seconds, "cannot run: " + why, JunitCase::Status::Error);
        return true;
    }
    ++counts.runs;
    if (clean.Leaked()) ++counts.leaks;
    AddSweepCase(suite, "clean run", clean.child.seconds,
                 clean.Leaked() ? "LEAK: " + std::to_string(clean.stopped - clean.loaded) +
                                      " bytes more in use after stop than after loading"
                                : "");
    return false;
}

JunitSuite* BeginSweepSuite(const SweepOptions& options, const std::string& sweep, const std::string& file) {
    if (options.junit == nullptr) return nullptr;
    JunitSuite& suite = options.junit->emplace_back();
    suite.name = sweep + " " + file;
    return &suite;
}

void AddSweepCase(JunitSuite* suite, const std::string& name, double seconds, const std::string& problem,
                  JunitCase::Status status) {
    if (suite == nullptr) return;
    JunitCase& c = suite->cases.emplace_back();
    c.name = name;
    // The suite is named "<kind> sweep <file>".
    c.classname = ClassName(suite->name.substr(suite->name.find(" sweep ") + 7));
    c.seconds = seconds;
    suite->out += name + ": " + (problem.empty() ? "ok" : problem) + "\n";
    if (problem.empty()) return;
    c.status = status;
    c.message = problem;
    c.details = problem;
}

std::string SweepRun::Failure(double timeLimitSeconds) const {
    std::string text = child.end == ChildOutcome::End::Finished ? "the run gave no outcome"
                                                                : "the plug-in " + child.Describe(timeLimitSeconds);
    if (!lastStep.empty()) text += " in " + lastStep;
    return text;
}

void PlayAndReport(const std::string& file, RunOptions options, bool withInteractions, Channel& channel) {
    Scenario scenario;
    ScenarioError error;
    if (!LoadScenario(file, scenario, error)) {
        channel.Write("message " + OneLine(error.Text()));
        channel.Write("outcome error");
        return;
    }
    options.stepStarted = [&channel](const Step& step) { channel.Write("step " + OneLine(step.Label())); };
    const ScenarioResult result = RunScenario(scenario, options);
    // The first line of each: where it failed and what was expected.
    for (const std::string& message : result.messages) channel.Write("message " + message.substr(0, message.find('\n')));
    channel.Write("memory " + std::to_string(result.memoryMeasured ? 1 : 0) + " " +
                  std::to_string(result.inUseAfterLoading) + " " + std::to_string(result.inUseAfterStop) + " " +
                  std::to_string(result.allocations));
    for (const std::string& line : result.errorLines) channel.Write("error " + OneLine(line));
    if (withInteractions) {
        for (const Host::Interaction& interaction : result.interactions) {
            channel.Write(std::string("interaction ") + InteractionKindWord(interaction.kind) + " " +
                          OneLine(interaction.label));
        }
        for (const Host::RecordedSubscription& subscription : result.subscriptions) {
            if (subscription.subscribe) {
                channel.Write("subscription " + std::to_string(subscription.kind) + " " + OneLine(subscription.eventName));
            }
        }
    }
    channel.Write(std::string("outcome ") + (result.outcome == Outcome::Passed   ? "passed"
                                             : result.outcome == Outcome::Failed ? "failed"
                                                                                 : "error"));
}

SweepRun ReadSweepRun(const ChildOutcome& child) {
    SweepRun run;
    run.child = child;
    std::istringstream lines(child.output);
    std::string line;
    while (std::getline(lines, line)) {
        const auto [key, rest] = SplitKeyedLine(line);
        if (key == "outcome") {
            run.outcome = rest;
        } else if (key == "message") {
            run.messages.push_back(rest);
        } else if (key == "step") {
            run.lastStep = rest;
        } else if (key == "error") {
            run.errorLines.push_back(rest);
        } else if (key == "memory") {
            std::istringstream numbers(rest);
            int measured = 0;
            numbers >> measured >> run.loaded >> run.stopped >> run.allocations;
            run.measured = measured != 0;
        } else if (key == "subscription") {
            const auto [kind, name] = SplitKeyedLine(rest);
            Host::RecordedSubscription subscription;
            subscription.kind = kind == "1" ? 1 : 0;
            subscription.eventName = name;
            run.subscriptions.push_back(std::move(subscription));
        } else if (key == "interaction") {
            const auto [kind, label] = SplitKeyedLine(rest);
            Host::Interaction interaction;
            interaction.kind = kind == "read"   ? Host::Interaction::Kind::Read
                               : kind == "task" ? Host::Interaction::Kind::Task
                                                : Host::Interaction::Kind::Answer;
            interaction.label = label;
            run.interactions.push_back(std::move(interaction));
        }
    }
    return run;
}

}  // namespace Vorn::HostSimulator

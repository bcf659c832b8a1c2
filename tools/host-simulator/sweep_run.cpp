#include "host-simulator/sweep_run.h"

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

bool CleanRunUnusable(const SweepRun& clean, const SweepOptions& options, SweepCounts& counts, std::FILE* out) {
    if (!clean.Finished()) {
        ++counts.runs;
        ++(clean.Hung() ? counts.hangs : counts.crashes);
        std::fprintf(out, "  the clean run failed: %s\n\n", clean.Failure(options.timeLimitSeconds).c_str());
        return true;
    }
    if (clean.outcome == "error") {
        ++counts.errors;
        std::fprintf(out, "  cannot run: %s\n\n", clean.messages.empty() ? "" : clean.messages.front().c_str());
        return true;
    }
    ++counts.runs;
    if (clean.Leaked()) ++counts.leaks;
    return false;
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

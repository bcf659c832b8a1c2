#include "host-simulator/fault_sweep.h"

#include <sstream>
#include <stdexcept>

#include "host-simulator/isolated_host.h"
#include "host-simulator/scenario.h"
#include "host-simulator/scenario_runner.h"

namespace Vorn::HostSimulator {

namespace {

using Host::InjectedFault;
using Host::Interaction;

constexpr const char* kWorkName = "sweep-run";

const char* KindWord(Interaction::Kind kind) {
    switch (kind) {
        case Interaction::Kind::Answer: return "answer";
        case Interaction::Kind::Read: return "read";
        case Interaction::Kind::Task: return "task";
    }
    return "?";
}

// The faults that fit an interaction of each kind.
std::vector<InjectedFault> FaultsFor(Interaction::Kind kind) {
    switch (kind) {
        case Interaction::Kind::Answer: return {InjectedFault::AnswerFails, InjectedFault::AnswerWrongKind};
        case Interaction::Kind::Read: return {InjectedFault::ReadFails, InjectedFault::ReadEndsShort};
        case Interaction::Kind::Task: return {InjectedFault::TaskDropped};
    }
    return {};
}

// What one run reported, read back from its lines.
struct RunReport {
    ChildOutcome child;
    std::string outcome;  // "passed", "failed", "error"; empty when the run did not finish
    std::vector<std::string> messages;
    bool measured = false;
    uint64_t loaded = 0;
    uint64_t stopped = 0;
    std::string lastStep;
    std::vector<Interaction> interactions;

    bool Finished() const { return child.end == ChildOutcome::End::Finished && !outcome.empty(); }
    bool Leaked() const { return Finished() && measured && stopped > loaded; }
};

RunReport ReadReport(const ChildOutcome& child) {
    RunReport report;
    report.child = child;
    std::istringstream lines(child.output);
    std::string line;
    while (std::getline(lines, line)) {
        const auto [key, rest] = SplitKeyedLine(line);
        if (key == "outcome") {
            report.outcome = rest;
        } else if (key == "message") {
            report.messages.push_back(rest);
        } else if (key == "step") {
            report.lastStep = rest;
        } else if (key == "memory") {
            std::istringstream numbers(rest);
            int measured = 0;
            numbers >> measured >> report.loaded >> report.stopped;
            report.measured = measured != 0;
        } else if (key == "interaction") {
            const std::size_t gap = rest.find(' ');
            const std::string kind = rest.substr(0, gap);
            Interaction interaction;
            interaction.kind = kind == "read"   ? Interaction::Kind::Read
                               : kind == "task" ? Interaction::Kind::Task
                                                : Interaction::Kind::Answer;
            interaction.label = gap == std::string::npos ? "" : rest.substr(gap + 1);
            report.interactions.push_back(std::move(interaction));
        }
    }
    return report;
}


RunReport RunOnce(const std::string& file, const SweepOptions& options, uint64_t faultAt, InjectedFault fault) {
    const ChildWork work{kWorkName,
                         {file, options.plugin, options.defaultPlugin, std::to_string(faultAt),
                          std::to_string(static_cast<int>(fault))}};
    return ReadReport(RunIsolated(work, options.inProcess, options.timeLimitSeconds));
}

// "the plug-in crashed with signal 11 (...) in step 4 (update, line 12)".
std::string Failure(const RunReport& run, double timeLimitSeconds) {
    std::string text = run.child.end == ChildOutcome::End::Finished ? "the run gave no outcome"
                                                                    : "the plug-in " + run.child.Describe(timeLimitSeconds);
    if (!run.lastStep.empty()) text += " in " + run.lastStep;
    return text;
}

}  // namespace

bool PerformSweepWork(const ChildWork& work, Channel& channel) {
    if (work.name != kWorkName) return false;
    if (work.arguments.size() != 5) throw std::invalid_argument("a sweep run takes a file, two plug-ins and a fault");
    Scenario scenario;
    ScenarioError error;
    if (!LoadScenario(work.arguments[0], scenario, error)) {
        channel.Write("message " + OneLine(error.Text()));
        channel.Write("outcome error");
        return true;
    }
    RunOptions options;
    options.plugin = work.arguments[1];
    options.defaultPlugin = work.arguments[2];
    options.faultAt = std::stoull(work.arguments[3]);
    options.fault = static_cast<InjectedFault>(std::stoi(work.arguments[4]));
    options.stepStarted = [&channel](const Step& step) { channel.Write("step " + OneLine(step.Label())); };
    const ScenarioResult result = RunScenario(scenario, options);
    // The first line of each: where it failed and what was expected.
    for (const std::string& message : result.messages) channel.Write("message " + message.substr(0, message.find('\n')));
    channel.Write("memory " + std::to_string(result.memoryMeasured ? 1 : 0) + " " +
                  std::to_string(result.inUseAfterLoading) + " " + std::to_string(result.inUseAfterStop));
    if (options.fault == InjectedFault::None) {
        for (const Interaction& interaction : result.interactions) {
            channel.Write(std::string("interaction ") + KindWord(interaction.kind) + " " + OneLine(interaction.label));
        }
    }
    channel.Write(std::string("outcome ") + (result.outcome == Outcome::Passed   ? "passed"
                                             : result.outcome == Outcome::Failed ? "failed"
                                                                                 : "error"));
    return true;
}

SweepTotals FaultSweep(const std::vector<std::string>& files, const SweepOptions& options, std::FILE* out) {
    SweepTotals totals;
    for (const std::string& file : files) {
        ++totals.scenarios;
        const RunReport clean = RunOnce(file, options, 0, InjectedFault::None);
        std::fprintf(out, "fault sweep: %s\n", file.c_str());
        if (!clean.Finished()) {
            ++totals.runs;
            ++(clean.child.end == ChildOutcome::End::TimedOut ? totals.hangs : totals.crashes);
            std::fprintf(out, "  the clean run failed: %s\n\n", Failure(clean, options.timeLimitSeconds).c_str());
            continue;
        }
        if (clean.outcome == "error") {
            ++totals.errors;
            std::fprintf(out, "  cannot run: %s\n\n", clean.messages.empty() ? "" : clean.messages.front().c_str());
            continue;
        }
        ++totals.runs;
        if (clean.Leaked()) ++totals.leaks;
        std::fprintf(out, "  clean run: %s, %zu interactions; bytes in use %llu after loading, %llu after stop%s\n",
                     clean.outcome.c_str(), clean.interactions.size(), static_cast<unsigned long long>(clean.loaded),
                     static_cast<unsigned long long>(clean.stopped), clean.Leaked() ? " (LEAK)" : "");
        for (std::size_t k = 1; k <= clean.interactions.size(); ++k) {
            const Interaction& interaction = clean.interactions[k - 1];
            for (InjectedFault fault : FaultsFor(interaction.kind)) {
                const RunReport run = RunOnce(file, options, k, fault);
                ++totals.runs;
                std::string verdict;
                if (!run.Finished()) {
                    ++(run.child.end == ChildOutcome::End::TimedOut ? totals.hangs : totals.crashes);
                    verdict = (run.child.end == ChildOutcome::End::TimedOut ? "HANG: " : "CRASH: ") +
                              Failure(run, options.timeLimitSeconds);
                } else if (run.Leaked()) {
                    ++totals.leaks;
                    verdict = "LEAK: " + std::to_string(run.stopped - run.loaded) +
                              " bytes more in use after stop than after loading";
                } else if (run.outcome == clean.outcome) {
                    verdict = "ok, nothing the scenario checks changed";
                } else {
                    ++totals.changed;
                    verdict = "ok; " + (run.messages.empty() ? run.outcome : run.messages.front());
                }
                std::fprintf(out, "  %3zu %-6s %s: %s -> %s\n", k, KindWord(interaction.kind), interaction.label.c_str(),
                             Host::InjectedFaultName(fault), verdict.c_str());
            }
        }
        std::fprintf(out, "\n");
        std::fflush(out);
    }
    const std::string unrun = totals.errors != 0 ? "; " + std::to_string(totals.errors) + " could not run" : "";
    std::fprintf(out,
                 "fault sweep: %llu scenarios, %llu runs: %llu crashes, %llu hangs, %llu leaks (%llu runs changed what "
                 "a scenario expects%s)\n",
                 static_cast<unsigned long long>(totals.scenarios), static_cast<unsigned long long>(totals.runs),
                 static_cast<unsigned long long>(totals.crashes), static_cast<unsigned long long>(totals.hangs),
                 static_cast<unsigned long long>(totals.leaks), static_cast<unsigned long long>(totals.changed),
                 unrun.c_str());
    return totals;
}

}  // namespace Vorn::HostSimulator

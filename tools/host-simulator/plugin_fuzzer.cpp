#include "host-simulator/plugin_fuzzer.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

#include "formats/json_writer.h"
#include "host-simulator/describe.h"
#include "host-simulator/fuzz_sequence.h"
#include "host-simulator/isolated_host.h"
#include "host-simulator/step_shrinker.h"

namespace Vorn::HostSimulator {

namespace {

// The entries the runtime's guard names (dispatch/host_entry_guard.h).
const char* const kGuardedEntries[] = {
    "Resource event function", "Service proxy event function", "Delayed task", "Plugin export", "Plugin loader",
    "Plugin start callback", "Plugin stop callback", "Plugin memory statistics callback",
    "Exposed function stream read", "Exposed function stream release", "Exposed function response release",
    "Exposed function call",
};
// The first runs send only well-formed values; later ones spoil some.
constexpr uint64_t kValidRuns = 8;
// Runs one shrinking may take; a hang costs a whole time limit each.
constexpr std::size_t kShrinkTries = 200;
constexpr std::size_t kHangShrinkTries = 12;

using Clock = std::chrono::steady_clock;

class Fuzzer {
public:
    Fuzzer(const FuzzOptions& options, std::FILE* out) : options_(options), out_(out) {
        target_.plugin = std::filesystem::absolute(options.plugin).string();
        runFile_ = (std::filesystem::temp_directory_path() /
                    ("vorn-fuzz-" + std::to_string(options.seed) + "-" +
                     std::to_string(Clock::now().time_since_epoch().count()) + ".json"))
                       .string();
    }
    ~Fuzzer() {
        std::error_code ignored;
        std::filesystem::remove(runFile_, ignored);
    }
    Fuzzer(const Fuzzer&) = delete;
    Fuzzer& operator=(const Fuzzer&) = delete;

    FuzzTotals Run() {
        const Clock::time_point started = Clock::now();
        std::fprintf(out_, "fuzz: %s, seed %llu\n", target_.plugin.c_str(), static_cast<unsigned long long>(options_.seed));
        if (Prepare()) Loop(started);
        std::fprintf(out_, "fuzz: %llu runs, %llu steps, %llu %s (seed %llu)\n", static_cast<unsigned long long>(totals_.runs),
                     static_cast<unsigned long long>(totals_.steps), static_cast<unsigned long long>(totals_.findings),
                     totals_.findings == 1 ? "finding" : "findings", static_cast<unsigned long long>(options_.seed));
        std::fflush(out_);
        return totals_;
    }

private:
    void Loop(Clock::time_point started) {
        const auto deadline = started + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options_.seconds));
        for (uint64_t run = 1; options_.runs == 0 || run <= options_.runs; ++run) {
            if (Clock::now() >= deadline) break;
            SeededRandom random(options_.seed ^ SeededRandom(run).Next());
            const bool mutated = run > kValidRuns && random.Chance(2, 3);
            const FuzzSequence sequence = GenerateSequence(target_, *shapes_, mutated, random, options_.maxSteps);
            ++totals_.runs;
            totals_.steps += sequence.steps.size();
            const SweepRun result = Play(sequence);
            if (result.outcome == "error" && unrunnable_++ == 0) {
                std::fprintf(out_, "  run %llu could not run: %s\n", static_cast<unsigned long long>(run),
                             result.messages.empty() ? "" : result.messages.front().c_str());
            }
            Learn(result);
            const FuzzFailure failure = JudgeRun(result, baseline_, options_.timeLimitSeconds);
            if (failure.kind == FuzzFailure::Kind::None) continue;
            if (!seen_.insert(failure.key).second) {
                ++totals_.repeats;
                continue;
            }
            Report(run, sequence, failure);
        }
    }

    // Reads the API table, then starts the plug-in once to learn what it
    // subscribes to and requests and what a plain start and stop leaves.
    bool Prepare() {
        DescribeOptions describe;
        describe.plugin = options_.plugin;
        describe.timeLimitSeconds = options_.timeLimitSeconds;
        BindingProperty description;
        std::string error;
        if (!DescribePlugin(describe, description, error)) {
            std::fprintf(out_, "  cannot fuzz: %s\n", error.c_str());
            totals_.error = true;
            return false;
        }
        description_ = description;
        shapes_ = std::make_unique<PayloadShapes>(std::move(description));
        FuzzSequence plain;
        plain.steps.emplace_back().SetString("start");
        const SweepRun probe = Play(plain);
        ++totals_.runs;
        ++totals_.steps;
        const FuzzFailure failure = JudgeRun(probe, UINT64_MAX, options_.timeLimitSeconds);
        if (failure.kind == FuzzFailure::Kind::Crash || failure.kind == FuzzFailure::Kind::Hang ||
            failure.kind == FuzzFailure::Kind::Error) {
            seen_.insert(failure.key);
            Report(0, plain, failure);
            return false;
        }
        if (probe.outcome != "passed") {
            std::fprintf(out_, "  cannot fuzz: %s\n", probe.messages.empty() ? probe.outcome.c_str() : probe.messages.front().c_str());
            totals_.error = true;
            return false;
        }
        baseline_ = probe.measured ? probe.stopped : UINT64_MAX;
        Learn(probe);
        std::fprintf(out_, "  after start: %zu events subscribed, %zu requests made; bytes in use after start and stop: %s\n",
                     target_.events.size(), target_.requests.size(),
                     probe.measured ? std::to_string(baseline_).c_str() : "not measured (no memory statistics)");
        std::fflush(out_);
        return true;
    }

    void Learn(const SweepRun& run) {
        for (const Host::RecordedSubscription& subscription : run.subscriptions) {
            target_.AddEvent(subscription.eventName, description_);
        }
        for (const Host::Interaction& interaction : run.interactions) {
            if (interaction.kind != Host::Interaction::Kind::Answer) continue;
            const KeyedLine request = SplitKeyedLine(interaction.label);
            if (!request.rest.empty()) target_.requests.emplace(request.key, request.rest);
        }
    }

    bool Write(const std::string& file, const BindingProperty& document) {
        std::ofstream stream(file, std::ios::binary | std::ios::trunc);
        stream << SerializeJson(document, nullptr, JsonWriteOptions::Pretty()) << "\n";
        return static_cast<bool>(stream);
    }

    SweepRun PlayFile(const std::string& file) {
        const ChildWork work{"sweep-run", {file, target_.plugin, target_.plugin, "0", "0"}};
        return ReadSweepRun(RunIsolated(work, false, options_.timeLimitSeconds));
    }

    SweepRun Play(const FuzzSequence& sequence) {
        if (!Write(runFile_, ScenarioDocument(sequence, "fuzz run", target_.plugin))) {
            SweepRun unwritten;
            unwritten.outcome = "error";
            unwritten.messages.push_back("cannot write " + runFile_);
            return unwritten;
        }
        return PlayFile(runFile_);
    }

    bool FailsAs(const FuzzSequence& sequence, const FuzzFailure& failure) {
        return JudgeRun(Play(sequence), baseline_, options_.timeLimitSeconds).key == failure.key;
    }

    // The fewest steps, then the fewest endpoints, that still fail the same way.
    FuzzSequence Shrink(FuzzSequence sequence, const FuzzFailure& failure, std::size_t& tries) {
        const std::vector<BindingProperty> all = sequence.steps;
        auto subset = [&all](const std::vector<std::size_t>& kept) {
            std::vector<BindingProperty> steps;
            for (std::size_t index : kept) steps.push_back(all[index]);
            return steps;
        };
        const std::size_t limit = failure.kind == FuzzFailure::Kind::Hang ? kHangShrinkTries : kShrinkTries;
        const std::vector<std::size_t> kept = ShrinkSteps(
            all.size(),
            [&](const std::vector<std::size_t>& candidate) {
                ++tries;
                FuzzSequence smaller{sequence.endpoints, subset(candidate)};
                return FailsAs(smaller, failure);
            },
            limit);
        sequence.steps = subset(kept);
        for (std::size_t i = sequence.endpoints.size(); i > 0 && tries < 2 * limit; --i) {
            FuzzSequence fewer = sequence;
            fewer.endpoints.erase(fewer.endpoints.begin() + static_cast<std::ptrdiff_t>(i - 1));
            ++tries;
            if (FailsAs(fewer, failure)) sequence = std::move(fewer);
        }
        return sequence;
    }

    // What the written scenario checks at its end, so that `run` fails on it.
    std::vector<BindingProperty> Checks(const FuzzSequence& sequence, const FuzzFailure& failure) const {
        std::vector<BindingProperty> checks;
        if (failure.kind == FuzzFailure::Kind::Leak) {
            if (EndsStarted(sequence.steps)) checks.emplace_back().SetString("stop");
            checks.emplace_back().Member("expect-memory").Member("at-most").SetUnsigned(baseline_);
        } else if (failure.kind == FuzzFailure::Kind::Error) {
            BindingProperty& expect = checks.emplace_back().Member("expect-log");
            expect.Member("level").SetString("ERROR");
            expect.Member("text").SetString(failure.errorLine);
            expect.Member("count").SetUnsigned(0);
            expect.Member("whole-run").SetBool(true);
        }
        return checks;
    }

    static const char* KindWord(FuzzFailure::Kind kind) {
        switch (kind) {
            case FuzzFailure::Kind::Crash: return "crash";
            case FuzzFailure::Kind::Hang: return "hang";
            case FuzzFailure::Kind::Leak: return "leak";
            case FuzzFailure::Kind::Error: return "error";
            case FuzzFailure::Kind::None: break;
        }
        return "none";
    }

    void Report(uint64_t run, const FuzzSequence& sequence, const FuzzFailure& failure) {
        ++totals_.findings;
        totals_.reports.push_back("run " + std::to_string(run) + ": " + failure.text);
        std::fprintf(out_, "  %s\n", totals_.reports.back().c_str());
        std::fflush(out_);
        std::size_t tries = 0;
        const FuzzSequence shrunk = Shrink(sequence, failure, tries);
        std::error_code error;
        std::filesystem::create_directories(options_.outDir, error);
        const std::string file = (std::filesystem::path(options_.outDir) /
                                  (std::string(KindWord(failure.kind)) + "-" + std::to_string(options_.seed) + "-" +
                                   std::to_string(run) + ".json"))
                                     .string();
        const std::string name = std::string("fuzz finding: ") + KindWord(failure.kind) + ", seed " +
                                 std::to_string(options_.seed) + ", run " + std::to_string(run);
        if (!Write(file, ScenarioDocument(shrunk, name, target_.plugin, Checks(shrunk, failure)))) {
            std::fprintf(out_, "    cannot write %s\n", file.c_str());
            return;
        }
        totals_.files.push_back(file);
        // Played once more as written, checks and all.
        const SweepRun replay = PlayFile(file);
        const FuzzFailure again = JudgeRun(replay, baseline_, options_.timeLimitSeconds);
        const bool checked = failure.kind == FuzzFailure::Kind::Crash || failure.kind == FuzzFailure::Kind::Hang ||
                             replay.outcome == "failed";
        std::fprintf(out_, "    shrunk from %zu steps to %zu (%zu endpoints) in %zu runs: %s%s\n", sequence.steps.size(),
                     shrunk.steps.size(), shrunk.endpoints.size(), tries, file.c_str(),
                     again.key == failure.key && checked ? "" : " (played again, it did not fail the same way)");
        std::fflush(out_);
    }

    const FuzzOptions& options_;
    std::FILE* out_;
    FuzzTarget target_;
    BindingProperty description_;
    std::unique_ptr<PayloadShapes> shapes_;
    uint64_t baseline_ = UINT64_MAX;
    std::string runFile_;
    std::set<std::string> seen_;
    uint64_t unrunnable_ = 0;
    FuzzTotals totals_;
};

}  // namespace

bool IsGuardLine(const std::string& line) {
    for (const char* entry : kGuardedEntries) {
        const std::size_t at = line.find(std::string(entry) + " failed: ");
        if (at != std::string::npos) return true;
    }
    return false;
}

FuzzFailure JudgeRun(const SweepRun& run, uint64_t baseline, double timeLimitSeconds) {
    FuzzFailure failure;
    if (!run.Finished()) {
        failure.kind = run.Hung() ? FuzzFailure::Kind::Hang : FuzzFailure::Kind::Crash;
        failure.key = run.child.Describe(timeLimitSeconds);
        failure.text = (run.Hung() ? "HANG: " : "CRASH: ") + run.Failure(timeLimitSeconds);
        return failure;
    }
    for (const std::string& line : run.errorLines) {
        if (!IsGuardLine(line)) continue;
        failure.kind = FuzzFailure::Kind::Error;
        failure.key = "error " + line;
        failure.text = "ERROR line from the exception guard: " + line;
        failure.errorLine = line;
        return failure;
    }
    if (run.measured && run.stopped > baseline) {
        failure.kind = FuzzFailure::Kind::Leak;
        failure.key = "leak";
        failure.text = "LEAK: " + std::to_string(run.stopped) + " bytes in use after the final stop, " +
                       std::to_string(baseline) + " after a plain start and stop";
    }
    return failure;
}

FuzzTotals Fuzz(const FuzzOptions& options, std::FILE* out) { return Fuzzer(options, out).Run(); }

}  // namespace Vorn::HostSimulator

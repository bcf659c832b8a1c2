#include "host-simulator/validator.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "host-simulator/api_table_reader.h"
#include "host-simulator/export_table.h"
#include "host-simulator/hostile_payloads.h"
#include "host-simulator/isolated_host.h"
#include "host-simulator/memory_figures.h"
#include "host/host_trace.h"

namespace Vorn::HostSimulator {

namespace {

using Host::HostVersion;
using Host::SimulatedHost;

// Rounds of every hostile payload to every subscribed event after the first.
constexpr int kMeasuredRounds = 2;
// How much more may be in use after the measured rounds than before them:
// nothing. The first round may build what a plug-in keeps for good (caches,
// interned names, a logger's lazily made parts), so it is not measured; the
// next rounds repeat it exactly, and a sound plug-in then keeps not one byte
// more (the test plug-in and the featured-modes library keep none). Any
// allowance would hide a small leak on a single payload.
constexpr uint64_t kEventsInUseTolerance = 0;
// How much more may be in use after stop than right after loading (the
// earliest the host can read the counters): a page, for what start makes
// once and keeps until the library is unloaded (a logger's target list, a
// lazily made singleton). What the plug-in object held at loading is gone by
// then, so a sound plug-in ends well below that level: the test plug-in and
// the featured-modes library end at 0.
constexpr uint64_t kStopInUseTolerance = 4096;
// Problems listed one by one; more are counted.
constexpr std::size_t kMostProblemsListed = 20;

bool SameVersion(const HostVersion& a, const HostVersion& b) {
    return a.major == b.major && a.minor == b.minor && a.patch == b.patch;
}

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
    return text;
}

// "1 request", "3 requests"; irregular plurals are given.
std::string Counted(uint64_t count, const std::string& one, const std::string& many = {}) {
    return std::to_string(count) + " " + (count == 1 ? one : many.empty() ? one + "s" : many);
}


// What the checks share about the library under test.
struct Plugin {
    std::string path;
    std::string entry;     // the export to call
    HostVersion version;   // its own, once the record check has read it
    bool inProcess = false;
    double timeLimitSeconds = 10;
};

// What a check's work writes, a line each: "step <what it does next>",
// "verdict <PASS|FAIL|WARN> <reason>", "message <detail>", "version <major>
// <minor> <patch>".
class Findings {
public:
    explicit Findings(Channel& channel) : channel_(channel) {}
    void Step(const std::string& what) { channel_.Write("step " + OneLine(what)); }
    void Verdict(CheckStatus status, const std::string& reason) {
        channel_.Write(std::string("verdict ") + CheckStatusText(status) + " " + OneLine(reason));
    }
    void Message(const std::string& text) { channel_.Write("message " + OneLine(text)); }
    void Version(const HostVersion& version) {
        channel_.Write("version " + std::to_string(version.major) + " " + std::to_string(version.minor) + " " +
                       std::to_string(version.patch));
    }

private:
    Channel& channel_;
};

struct WorkOutcome {
    bool finished = false;
    bool hasVerdict = false;
    CheckStatus status = CheckStatus::Fail;
    std::string reason;
    std::vector<std::string> messages;
    std::optional<HostVersion> version;
    std::string lastStep;
    ChildOutcome child;
};

WorkOutcome ReadFindings(const ChildOutcome& child) {
    WorkOutcome outcome;
    outcome.child = child;
    outcome.finished = child.end == ChildOutcome::End::Finished;
    std::istringstream lines(child.output);
    std::string line;
    while (std::getline(lines, line)) {
        const auto [key, rest] = SplitKeyedLine(line);
        if (key == "step") {
            outcome.lastStep = rest;
        } else if (key == "message") {
            outcome.messages.push_back(rest);
        } else if (key == "verdict") {
            const std::string status = rest.substr(0, 4);
            outcome.hasVerdict = true;
            outcome.status = status == "PASS" ? CheckStatus::Pass : status == "WARN" ? CheckStatus::Warn : CheckStatus::Fail;
            outcome.reason = rest.size() > 5 ? rest.substr(5) : "";
        } else if (key == "version") {
            HostVersion version;
            std::istringstream numbers(rest);
            if (numbers >> version.major >> version.minor >> version.patch) outcome.version = version;
        }
    }
    return outcome;
}

// Runs a check's work in a child process, or here with --in-process: the
// work of that name, given the library, its entry and the host version to
// load it as.
WorkOutcome RunWork(const Plugin& plugin, const std::string& name, const HostVersion& host) {
    const ChildWork work{name,
                         {plugin.path, plugin.entry, std::to_string(host.major), std::to_string(host.minor),
                          std::to_string(host.patch)}};
    return ReadFindings(RunIsolated(work, plugin.inProcess, plugin.timeLimitSeconds));
}

// The first two lines the child wrote to standard error and its last one, as
// details: a report's headline and how it ended.
void AddErrorLines(const ChildOutcome& child, std::vector<std::string>& messages) {
    auto lines = [](const std::string& text) {
        std::vector<std::string> found;
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            if (line.find_first_not_of(" \t\r") != std::string::npos) found.push_back(line);
        }
        return found;
    };
    std::vector<std::string> shown = lines(child.errorsHead);
    if (shown.size() > 2) shown.resize(2);
    const std::vector<std::string> tail = lines(child.errors);
    if (!tail.empty() && std::find(shown.begin(), shown.end(), tail.back()) == shown.end()) shown.push_back(tail.back());
    for (const std::string& line : shown) messages.push_back("stderr: " + line);
}

// The result of a check whose work ran once.
CheckResult Result(const std::string& name, const Plugin& plugin, const WorkOutcome& work) {
    CheckResult result;
    result.name = name;
    result.seconds = work.child.seconds;
    if (work.finished && work.hasVerdict) {
        result.status = work.status;
        result.messages.push_back(work.reason);
    } else {
        result.status = CheckStatus::Fail;
        std::string reason = work.finished ? "the check gave no verdict" : work.child.Describe(plugin.timeLimitSeconds);
        if (!work.lastStep.empty()) reason += " while " + work.lastStep;
        result.messages.push_back(reason);
    }
    result.messages.insert(result.messages.end(), work.messages.begin(), work.messages.end());
    if (!work.finished) AddErrorLines(work.child, result.messages);
    return result;
}

CheckResult NotRun(const std::string& name, const std::string& why) {
    return CheckResult{name, CheckStatus::Warn, 0, {"not run: " + why}};
}

bool LoadFor(const Plugin& plugin, IsolatedHost& host, Findings& findings, const HostVersion& version) {
    findings.Step("loading through " + plugin.entry + " as host " + HostVersionText(version));
    std::string error;
    if (host->Load(plugin.path, &error, plugin.entry)) return true;
    findings.Verdict(CheckStatus::Fail, "loading failed: " + error);
    return false;
}

bool StartFor(IsolatedHost& host, Findings& findings) {
    findings.Step("starting");
    return host->Start();
}

// The event names the plug-in is subscribed to now, in the order it first
// subscribed them.
std::vector<std::string> ActiveSubscriptions(const SimulatedHost& host) {
    std::vector<std::string> names;
    for (const Host::RecordedSubscription& subscription : host.Subscriptions()) {
        const auto found = std::find(names.begin(), names.end(), subscription.eventName);
        if (subscription.subscribe && found == names.end()) names.push_back(subscription.eventName);
        if (!subscription.subscribe && found != names.end()) names.erase(found);
    }
    return names;
}

// --- export -------------------------------------------------------------

CheckResult ExportCheck(const std::string& path, std::vector<std::string>& entries) {
    const auto started = std::chrono::steady_clock::now();
    CheckResult result{"export", CheckStatus::Pass, 0, {}};
    std::vector<std::string> names;
    std::string error;
    if (!ReadExportedSymbols(path, names, error)) {
        result.status = CheckStatus::Fail;
        result.messages.push_back("the exports cannot be read: " + error);
    } else {
        entries = EntryExports(names);
        std::vector<std::string> others;
        for (const std::string& name : names) {
            if (name.rfind("load_", 0) != 0) others.push_back(name);
        }
        if (entries.empty()) {
            result.status = CheckStatus::Fail;
            result.messages.push_back("no export named load_*");
        } else if (entries.size() > 1) {
            result.status = CheckStatus::Fail;
            result.messages.push_back(std::to_string(entries.size()) + " exports named load_*: " + Joined(entries));
            result.messages.push_back("the other checks call " + ChooseEntry(path, entries));
        } else if (!others.empty()) {
            result.status = CheckStatus::Warn;
            result.messages.push_back(entries.front() + " and " + Counted(others.size(), "other export") +
                                      ", where a plug-in library exports nothing else");
        } else {
            result.messages.push_back("exports only " + entries.front());
        }
        if (!others.empty()) {
            const std::size_t listed = std::min<std::size_t>(others.size(), kMostProblemsListed);
            result.messages.push_back("other exports: " +
                                      Joined(std::vector<std::string>(others.begin(), others.begin() + listed)) +
                                      (listed < others.size() ? ", ..." : ""));
        }
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return result;
}

// --- record ---------------------------------------------------------------

void RecordWork(const Plugin& plugin, Findings& findings) {
    IsolatedHost host(plugin.inProcess, ProbeHostVersion());
    if (!LoadFor(plugin, host, findings, ProbeHostVersion())) return;
    const PluginHostRecord record = host->Record();
    findings.Version(HostVersion{record.major, record.minor, record.patch});

    // The host checked start and stop when loading.
    std::vector<std::string> problems;
    const PluginCallbacks callbacks = *record.callbacks;
    if (callbacks.memoryStatistics == nullptr) problems.push_back("the memory statistics callback is null");
    if (record.plugin == nullptr) problems.push_back("the plug-in object is null");
    findings.Step("reading the short name");
    const std::optional<std::string> name = BoundedText(record.shortName);
    if (!name) problems.push_back(record.shortName == nullptr ? "the short name is null" : "the short name is not NUL-terminated");
    if (name && name->empty()) problems.push_back("the short name is empty");
    const std::string shortName = name.value_or("");
    std::string table = "no API table";
    if (record.apiTable == nullptr) {
        problems.push_back("the API table is null");
    } else {
        findings.Step("reading the API table");
        const ApiTableReading reading = ReadApiTable(*record.apiTable, [&](const std::string& step) { findings.Step(step); });
        problems.insert(problems.end(), reading.problems.begin(), reading.problems.end());
        const BindingProperty& d = reading.description;
        table = "an API table of " + Counted(d.GetMember("functions").Count(), "function") + ", " +
                Counted(d.GetMember("types").Count(), "type") + " and " + Counted(d.GetMember("events").Count(), "event");
    }
    const std::string version = HostVersionText(HostVersion{record.major, record.minor, record.patch});
    if (problems.empty()) {
        findings.Verdict(CheckStatus::Pass, "'" + shortName + "' " + version + ": start, stop and memory statistics "
                                            "callbacks and " + table + ", well formed");
        return;
    }
    findings.Verdict(CheckStatus::Fail, problems.size() == 1 ? problems.front()
                                                             : std::to_string(problems.size()) + " faults in the record, "
                                                               "the first: " + problems.front());
    for (std::size_t i = 0; i < problems.size() && i < kMostProblemsListed; ++i) findings.Message(problems[i]);
    if (problems.size() > kMostProblemsListed) {
        findings.Message("and " + std::to_string(problems.size() - kMostProblemsListed) + " more");
    }
}

// --- version ----------------------------------------------------------------

struct VersionProbe {
    HostVersion host;
    bool accept;
    std::string why;
};

std::vector<VersionProbe> VersionProbes(const HostVersion& own) {
    constexpr uint32_t kMax = std::numeric_limits<uint32_t>::max();
    std::vector<VersionProbe> probes{{own, true, "its own"}};
    if (own.minor < kMax) probes.push_back({{own.major, own.minor + 1, 0}, true, "a newer minor"});
    if (own.patch < kMax) probes.push_back({{own.major, own.minor, own.patch + 1}, true, "a newer patch"});
    if (own.major < kMax) probes.push_back({{own.major + 1, 0, 0}, false, "the next major"});
    // The older versions come with their other numbers raised, so that only
    // the older number can be the reason to refuse them.
    if (own.major > 0) probes.push_back({{own.major - 1, kMax, kMax}, false, "the previous major"});
    if (own.minor > 0) probes.push_back({{own.major, own.minor - 1, kMax}, false, "an older minor"});
    if (own.patch > 0) probes.push_back({{own.major, own.minor, own.patch - 1}, false, "an older patch"});
    return probes;
}

// Loads the plug-in as the host version given in place of its own.
void VersionWork(const Plugin& plugin, Findings& findings) {
    IsolatedHost simulated(plugin.inProcess, plugin.version);
    findings.Step("loading as host " + HostVersionText(plugin.version));
    std::string error;
    if (simulated->Load(plugin.path, &error, plugin.entry)) {
        const PluginHostRecord& record = simulated->Record();
        findings.Version(HostVersion{record.major, record.minor, record.patch});
        findings.Verdict(CheckStatus::Pass, "accepted");
    } else {
        findings.Verdict(CheckStatus::Fail, error);
    }
}

CheckResult VersionCheck(const Plugin& plugin) {
    CheckResult result{"version", CheckStatus::Pass, 0, {}};
    std::vector<std::string> accepted;
    std::vector<std::string> refused;
    std::vector<std::string> untried;
    std::vector<std::string> faults;
    for (const VersionProbe& probe : VersionProbes(plugin.version)) {
        const std::string host = HostVersionText(probe.host) + " (" + probe.why + ")";
        if (!probe.accept && plugin.inProcess) {
            untried.push_back(HostVersionText(probe.host));
            continue;
        }
        const WorkOutcome work = RunWork(plugin, "version", probe.host);
        result.seconds += work.child.seconds;
        if (work.child.end == ChildOutcome::End::TimedOut || work.child.end == ChildOutcome::End::NotStarted) {
            faults.push_back("host " + host + ": loading " + work.child.Describe(plugin.timeLimitSeconds));
        } else if (!work.finished) {
            if (probe.accept) {
                faults.push_back("host " + host + ": loading " + work.child.Describe(plugin.timeLimitSeconds));
                AddErrorLines(work.child, faults);
            } else {
                refused.push_back(HostVersionText(probe.host));
            }
        } else if (work.status != CheckStatus::Pass) {
            faults.push_back("host " + host + (probe.accept ? ": refused, " : ": not refused by ending the process, ") +
                             work.reason);
        } else if (!probe.accept) {
            faults.push_back("host " + host + ": accepted");
        } else if (!work.version || !SameVersion(*work.version, plugin.version)) {
            faults.push_back("host " + host + ": the plug-in reported version " +
                             (work.version ? HostVersionText(*work.version) : "none") + ", not " +
                             HostVersionText(plugin.version));
        } else {
            accepted.push_back(HostVersionText(probe.host));
        }
    }
    if (!faults.empty()) {
        result.status = CheckStatus::Fail;
        result.messages = faults;
        return result;
    }
    std::string reason = "accepts " + Joined(accepted);
    if (!refused.empty()) reason += "; ends the process for " + Joined(refused);
    if (!untried.empty()) {
        result.status = CheckStatus::Warn;
        reason += "; refusals of " + Joined(untried) + " not tried in-process (a refusal ends the process)";
    }
    result.messages.push_back(reason);
    return result;
}

// --- start, events, stop, memory ----------------------------------------

void StartWork(const Plugin& plugin, Findings& findings) {
    IsolatedHost host(plugin.inProcess, plugin.version);
    if (!LoadFor(plugin, host, findings, plugin.version)) return;
    if (!StartFor(host, findings)) {
        findings.Verdict(CheckStatus::Fail, "start returned false");
        return;
    }
    findings.Verdict(CheckStatus::Pass, "start returned true after " + Counted(host->Requests().size(), "request") +
                                            ", " + Counted(ActiveSubscriptions(*host).size(), "subscription") +
                                            " and " + Counted(host->Tasks().size(), "scheduled task"));
}

void EventsWork(const Plugin& plugin, Findings& findings) {
    IsolatedHost host(plugin.inProcess, plugin.version);
    if (!LoadFor(plugin, host, findings, plugin.version)) return;
    StartFor(host, findings);
    const std::vector<std::string> names = ActiveSubscriptions(*host);
    if (names.empty()) {
        findings.Verdict(CheckStatus::Pass, "subscribed to no event, so none could be delivered");
        return;
    }
    const HostilePayloads payloads;
    auto deliverAll = [&] {
        for (const std::string& name : names) {
            for (const HostilePayload& payload : payloads.All()) {
                findings.Step("delivering " + payload.name + " to " + name);
                host->DeliverFlatEvent(name.c_str(), payload.value);
            }
        }
        // The host keeps a line for each; what matters here is the plug-in's memory.
        host->ClearRecords();
    };
    // The first round may build what the plug-in keeps for good (caches,
    // interned names); later rounds must keep nothing more.
    deliverAll();
    const uint64_t before = InUse(host->MemoryStatistics());
    for (int round = 0; round < kMeasuredRounds; ++round) deliverAll();
    const PluginMemoryStatistics after = host->MemoryStatistics();
    const uint64_t deliveries = kMeasuredRounds * names.size() * payloads.All().size();
    findings.Message("subscribed events: " + Joined(names));
    findings.Message("bytes in use: " + std::to_string(before) + " before and " + std::to_string(InUse(after)) +
                     " after " + Counted(deliveries, "measured delivery", "measured deliveries"));
    const bool measured = host->Record().callbacks->memoryStatistics != nullptr;
    if (!measured) {
        findings.Verdict(CheckStatus::Warn, "no crash, but without a memory statistics callback no leak can be seen");
        return;
    }
    if (InUse(after) > before + kEventsInUseTolerance) {
        findings.Verdict(CheckStatus::Fail, "keeps " + Counted(InUse(after) - before, "byte") + " more after " +
                                                Counted(deliveries, "delivery", "deliveries") + " of hostile payloads");
        return;
    }
    findings.Verdict(CheckStatus::Pass, "dropped " + Counted(payloads.All().size(), "hostile payload") +
                                            " on each of " + Counted(names.size(), "subscribed event") +
                                            " without crashing or keeping memory");
}

// A path no route of a plug-in's own can expect.
constexpr const char* kUnroutedPath = "/vorn-host/validate/no-such-route";

// Whether a path template has no literal character, so that it routes every
// path (a route that catches all cannot answer "Invalid function").
bool CatchesEveryPath(std::string_view pathTemplate) {
    bool inside = false;
    for (char c : pathTemplate) {
        if (c == '{') {
            inside = true;
        } else if (c == '}') {
            inside = false;
        } else if (!inside) {
            return false;
        }
    }
    return !pathTemplate.empty();
}

void FunctionsWork(const Plugin& plugin, Findings& findings) {
    IsolatedHost host(plugin.inProcess, plugin.version);
    if (!LoadFor(plugin, host, findings, plugin.version)) return;
    StartFor(host, findings);
    const ApiTable* table = host->Record().apiTable;
    const uint32_t count = table != nullptr ? table->functionCount : 0;
    if (count == 0) {
        findings.Verdict(CheckStatus::Pass, "exposes no function");
        return;
    }
    std::vector<std::string> faults;
    std::vector<std::string> catchAll;
    for (uint32_t i = 0; i < count; ++i) {
        // Copied out: the records are packed.
        const ApiFunctionEntry entry = table->functions[i];
        const std::string name = entry.name != nullptr ? entry.name : "";
        const std::string pathTemplate = entry.pathTemplate != nullptr ? entry.pathTemplate : "";
        findings.Step("calling " + name + " with a path no route matches");
        Host::FunctionCall call;
        call.function = name;
        call.method = kHostMethodGet;
        call.path = kUnroutedPath;
        const Host::CallResult result = host->CallFunction(call);
        if (!result.called) {
            faults.push_back(name + ": cannot be called (" + result.error.value_or("no call entry") + ")");
        } else if (!result.released) {
            faults.push_back(name + ": its response record was not left empty by its release function");
        } else if (result.status != 404 || !result.failed || result.error != "Invalid function") {
            if (CatchesEveryPath(pathTemplate)) {
                catchAll.push_back(name);
            } else {
                faults.push_back(name + ": answered " + std::to_string(result.status) + " " +
                                 result.error.value_or(result.failed ? "(failed, no message)" : "(success)") +
                                 " instead of 404 Invalid function");
            }
        }
    }
    for (const std::string& fault : faults) findings.Message(fault);
    if (!faults.empty()) {
        findings.Verdict(CheckStatus::Fail, faults.front());
    } else if (!catchAll.empty()) {
        findings.Verdict(CheckStatus::Warn, "every function is callable; " + Joined(catchAll) +
                                                " routes every path, so its answer to a stray one was not checked");
    } else {
        findings.Verdict(CheckStatus::Pass, "each of " + Counted(count, "function") +
                                                " is callable and answers a path of no route with 404 Invalid function");
    }
}

void StopWork(const Plugin& plugin, Findings& findings) {
    IsolatedHost host(plugin.inProcess, plugin.version);
    if (!LoadFor(plugin, host, findings, plugin.version)) return;
    StartFor(host, findings);
    const std::size_t pending = host->PendingTaskCount();
    findings.Step("stopping with " + Counted(pending, "task") + " pending");
    host->Stop();
    findings.Verdict(CheckStatus::Pass,
                     "stop returned with " + Counted(pending, "task") + " pending" +
                         (pending == 0 ? " (the plug-in scheduled none at start)" : ", which the host dropped"));
}

// --- reentry --------------------------------------------------------------

// Bytes per read of every answer: one, so that the plug-in yields between
// reads and the host can call into it there.
constexpr uint32_t kReentryChunk = 1;

// Every answer streamed in small reads (an empty structure where the host
// has nothing to answer with, as this one's empty store), and during each
// read (one level deep: not during the reads of requests made by a delivery)
// each subscribed event delivered with the last payload sent for it, or an
// empty structure.
void ReentryWork(const Plugin& plugin, Findings& findings) {
    IsolatedHost host(plugin.inProcess, plugin.version);
    if (!LoadFor(plugin, host, findings, plugin.version)) return;
    const bool measured = host->Record().callbacks->memoryStatistics != nullptr;
    const uint64_t loaded = InUse(host->MemoryStatistics());
    std::map<std::string, BindingProperty> lastPayload;
    auto deliver = [&](const std::string& name, const std::string& when) {
        findings.Step("delivering " + name + when);
        BindingProperty& payload = lastPayload[name];
        if (payload.IsEmpty()) payload.MakeStructure();
        host->DeliverEvent(name, payload);
    };
    int depth = 0;
    uint64_t streamed = 0;
    uint64_t reentries = 0;
    host->SetAnswerHook([&](const Host::RecordedRequest& request, Host::Answer& answer) {
        if (answer.flatBody || answer.streamChunk != 0) return;
        if (answer.error || answer.body.IsEmpty()) {
            answer = Host::Answer::Body(BindingProperty());
            answer.body.MakeStructure();
        }
        answer.streamChunk = kReentryChunk;
        ++streamed;
        if (depth != 0) return;
        const std::string label = " during the read of " + Host::MethodText(request.method) + " " + request.path;
        answer.during = [&, label] {
            ++depth;
            for (const std::string& name : ActiveSubscriptions(*host)) {
                deliver(name, label);
                ++reentries;
            }
            --depth;
        };
    });
    StartFor(host, findings);
    for (const std::string& name : ActiveSubscriptions(*host)) deliver(name, "");
    findings.Step("stopping");
    host->Stop();
    const uint64_t stopped = InUse(host->MemoryStatistics());
    const std::string levels = "bytes in use: " + std::to_string(loaded) + " after loading, " +
                               std::to_string(stopped) + " after stop";
    findings.Message(Counted(streamed, "answer") + " streamed in " + std::to_string(kReentryChunk) + "-byte reads; " +
                     Counted(reentries, "event") + " delivered during them; " +
                     Counted(host->MissedDuringCount(), "answer") + " read without a yield; " + levels);
    if (measured && stopped > loaded + kStopInUseTolerance) {
        findings.Verdict(CheckStatus::Fail, "after stop " + std::to_string(stopped - loaded) +
                                                " bytes more are in use than after loading");
        return;
    }
    findings.Verdict(measured ? CheckStatus::Pass : CheckStatus::Warn,
                     "handled " + Counted(reentries, "event") + " delivered while it waited in a read, and stopped" +
                         (measured ? " without keeping memory" : " (no memory statistics callback to read)"));
}

// What is wrong with a statistics record, alone and against an earlier one.
std::vector<std::string> StatisticsFaults(const PluginMemoryStatistics& now, const PluginMemoryStatistics* before,
                                          const std::string& when) {
    std::vector<std::string> faults;
    const std::array<uint64_t, 6> c = Counters(now);
    if (now.reserved[0] != 0 || now.reserved[1] != 0) faults.push_back(when + ": the two words after the counters are not zero");
    if (c[4] > c[2]) faults.push_back(when + ": more bytes freed than allocated");
    if (c[5] > c[3]) faults.push_back(when + ": more frees than allocations");
    if (c[0] < InUse(now)) faults.push_back(when + ": the peak is below the bytes in use");
    if (c[1] > c[3]) faults.push_back(when + ": more allocations live at the peak than ever made");
    if (before != nullptr) {
        const std::array<uint64_t, 6> earlier = Counters(*before);
        static const char* const kCounters[] = {"the peak",          "live allocations at the peak", "bytes allocated",
                                                "allocations",       "bytes freed",                  "frees"};
        // The peak pair may move together to a later, higher peak; the
        // running totals only grow.
        for (int i : {0, 2, 3, 4, 5}) {
            if (c[i] < earlier[i]) faults.push_back(when + ": " + kCounters[i] + " went down");
        }
    }
    return faults;
}

void MemoryWork(const Plugin& plugin, Findings& findings) {
    IsolatedHost host(plugin.inProcess, plugin.version);
    if (!LoadFor(plugin, host, findings, plugin.version)) return;
    if (host->Record().callbacks->memoryStatistics == nullptr) {
        findings.Verdict(CheckStatus::Warn, "the record has no memory statistics callback to read");
        return;
    }
    findings.Step("reading the statistics after loading");
    const PluginMemoryStatistics loaded = host->MemoryStatistics();
    StartFor(host, findings);
    findings.Step("reading the statistics after start");
    const PluginMemoryStatistics started = host->MemoryStatistics();
    findings.Step("stopping");
    host->Stop();
    // The library stays loaded after stop, so its callback still answers.
    findings.Step("reading the statistics after stop");
    const PluginMemoryStatistics stopped = host->MemoryStatistics();

    std::vector<std::string> faults = StatisticsFaults(loaded, nullptr, "after loading");
    for (const auto& fault : StatisticsFaults(started, &loaded, "after start")) faults.push_back(fault);
    for (const auto& fault : StatisticsFaults(stopped, &started, "after stop")) faults.push_back(fault);
    const std::string levels = "bytes in use: " + std::to_string(InUse(loaded)) + " after loading, " +
                               std::to_string(InUse(started)) + " after start, " + std::to_string(InUse(stopped)) +
                               " after stop";
    if (InUse(stopped) > InUse(loaded) + kStopInUseTolerance) {
        faults.push_back("after stop " + std::to_string(InUse(stopped) - InUse(loaded)) +
                         " bytes more are in use than after loading");
    }
    if (faults.empty()) {
        findings.Verdict(CheckStatus::Pass, "counters consistent, two zero words; " + levels);
        return;
    }
    findings.Verdict(CheckStatus::Fail, faults.front());
    for (const std::string& fault : faults) findings.Message(fault);
    findings.Message(levels);
}

// The work of each check by name. Its plug-in's version is the host version
// to load it as (the record's work uses the probe's own).
using CheckWork = void (*)(const Plugin&, Findings&);
const std::map<std::string, CheckWork>& CheckWorks() {
    static const std::map<std::string, CheckWork> works = {
        {"record", RecordWork}, {"version", VersionWork},     {"start", StartWork},
        {"events", EventsWork}, {"functions", FunctionsWork}, {"reentry", ReentryWork},
        {"stop", StopWork},     {"memory", MemoryWork}};
    return works;
}

uint32_t VersionNumber(const std::string& text) {
    const unsigned long long value = std::stoull(text);
    if (value > std::numeric_limits<uint32_t>::max()) throw std::out_of_range("version number " + text);
    return static_cast<uint32_t>(value);
}

CheckResult RunCheck(const std::string& name, const Plugin& plugin) {
    return Result(name, plugin, RunWork(plugin, name, plugin.version));
}

}  // namespace

bool PerformCheckWork(const ChildWork& work, bool inProcess, Channel& channel) {
    const auto found = CheckWorks().find(work.name);
    if (found == CheckWorks().end()) return false;
    const std::vector<std::string>& arguments = work.arguments;
    if (arguments.size() != 5) throw std::invalid_argument("a check's work takes the library, its entry and a version");
    Plugin plugin;
    plugin.path = arguments[0];
    plugin.entry = arguments[1];
    plugin.version = HostVersion{VersionNumber(arguments[2]), VersionNumber(arguments[3]), VersionNumber(arguments[4])};
    plugin.inProcess = inProcess;
    Findings findings(channel);
    found->second(plugin, findings);
    return true;
}

const char* CheckStatusText(CheckStatus status) {
    switch (status) {
        case CheckStatus::Pass: return "PASS";
        case CheckStatus::Fail: return "FAIL";
        case CheckStatus::Warn: return "WARN";
    }
    return "FAIL";
}

std::vector<CheckResult> Validate(const ValidateOptions& options,
                                  const std::function<void(const CheckResult&)>& finished) {
    std::vector<CheckResult> results;
    auto add = [&](CheckResult result) {
        if (finished) finished(result);
        results.push_back(std::move(result));
    };
    // The checks after the first two need what those found, and the last
    // three a plug-in that started: without it they are reported as not run
    // rather than failing for another check's reason.
    auto notRun = [&](std::initializer_list<const char*> names, const std::string& why) {
        for (const char* name : names) add(NotRun(name, why));
    };

    Plugin plugin;
    plugin.path = options.plugin;
    plugin.inProcess = options.inProcess;
    plugin.timeLimitSeconds = options.timeLimitSeconds;

    std::vector<std::string> entries;
    add(ExportCheck(options.plugin, entries));
    plugin.entry = ChooseEntry(options.plugin, entries);
    if (plugin.entry.empty()) {
        notRun({"record", "version", "start", "events", "functions", "reentry", "stop", "memory"},
               "no export named load_* to call");
        return results;
    }

    const WorkOutcome record = RunWork(plugin, "record", ProbeHostVersion());
    add(Result("record", plugin, record));
    if (!record.version) {
        notRun({"version", "start", "events", "functions", "reentry", "stop", "memory"}, "the plug-in did not load");
        return results;
    }
    plugin.version = *record.version;

    add(VersionCheck(plugin));
    const CheckResult start = RunCheck("start", plugin);
    add(start);
    if (start.status == CheckStatus::Fail) {
        notRun({"events", "functions", "reentry", "stop", "memory"}, "start did not succeed");
        return results;
    }
    add(RunCheck("events", plugin));
    add(RunCheck("functions", plugin));
    add(RunCheck("reentry", plugin));
    add(RunCheck("stop", plugin));
    add(RunCheck("memory", plugin));
    return results;
}

}  // namespace Vorn::HostSimulator

#include "host/simulated_host.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "binding/flat_value.h"
#include "host/host_state.h"
#include "host/host_trace.h"

namespace Vorn::Host {

namespace {

// Any fixed non-zero word: the plug-in only hands it back.
constexpr uintptr_t kHostContext = 0x5EED;

const char* EventTypeName(EventType type) {
    switch (type) {
        case EventType::Create: return "Create";
        case EventType::Update: return "Update";
        case EventType::Delete: return "Delete";
    }
    return "";
}

// "dir/vorn-test-plugin.so", "dir\\vorn-test-plugin.dll" -> "load_vorn_test_plugin".
std::string DefaultExportName(const std::string& libraryPath) {
    const std::size_t slash = libraryPath.find_last_of("/\\");
    std::string name = libraryPath.substr(slash == std::string::npos ? 0 : slash + 1);
    name = name.substr(0, name.find('.'));
    std::replace(name.begin(), name.end(), '-', '_');
    return "load_" + name;
}

}  // namespace

struct SimulatedHost::State : HostState {};

HostState::HostState() {
    table.api = HostFunctions();
    table.state = this;
}

HostState::~HostState() { ReclaimResponses(); }

void HostState::Note(const std::string& line, TraceLane lane) {
    trace.push_back(TimeStamp(now) + " " + line);
    traceMarks.push_back({now, lane});
}

RecordedRequest* HostState::Request(const RecordRef& ref) {
    return ref.generation == generation && ref.index < requests.size() ? &requests[ref.index] : nullptr;
}

RecordedTask* HostState::Task(const RecordRef& ref) {
    return ref.generation == generation && ref.index < tasks.size() ? &tasks[ref.index] : nullptr;
}

int HostState::CountSubscriptions(const std::string& eventName) const {
    return static_cast<int>(std::count_if(subscriptions.begin(), subscriptions.end(),
                                          [&](const ActiveSubscription& s) { return s.eventName == eventName; }));
}

int HostState::Deliver(const char* eventName, const BindingFlatValue& payload, RecordFault fault) {
    const std::string name = eventName != nullptr ? eventName : "";
    // Handlers may subscribe and unsubscribe while the event goes round: the
    // event reaches the subscriptions of the moment it was sent, except those
    // cancelled on the way, whose owner may already be gone.
    std::vector<ActiveSubscription> targets;
    for (const ActiveSubscription& subscription : subscriptions) {
        if (subscription.eventName == name) targets.push_back(subscription);
    }
    int reached = 0;
    for (const ActiveSubscription& target : targets) {
        const bool active = std::any_of(subscriptions.begin(), subscriptions.end(),
                                        [&](const ActiveSubscription& s) { return s.id == target.id; });
        if (!active) continue;
        HostEventRecord record;
        std::memset(static_cast<void*>(&record), 0, sizeof(record));
        record.eventName = fault == RecordFault::NullName ? nullptr : eventName;
        record.payload = payload;
        record.user = fault == RecordFault::NullUser ? 0 : target.user;
        ++reached;
        target.function(&record);
    }
    return reached;
}

int HostState::DeliverValue(const std::string& eventName, const BindingProperty& payload, const std::string& line) {
    BindingFlatValue flat{};
    if (!FlatFromValue(payload, nullptr, &flat)) {
        ReleaseFlatValue(&flat);
        Note(line + " not sent: the payload is nested too deeply", TraceLane::Event);
        return 0;
    }
    Note(line + (CountSubscriptions(eventName) == 0 ? " (not subscribed)" : ""), TraceLane::Event);
    const int reached = Deliver(eventName.c_str(), flat);
    ReleaseFlatValue(&flat);
    return reached;
}

SimulatedHost::SimulatedHost(HostVersion version) : state_(std::make_unique<State>()) { state_->version = version; }

SimulatedHost::~SimulatedHost() { Unload(); }

bool SimulatedHost::Load(const std::string& libraryPath, std::string* error, const std::string& exportName) {
    Unload();
    State& s = *state_;
    const std::string name = exportName.empty() ? DefaultExportName(libraryPath) : exportName;
    auto fail = [&](const std::string& reason) {
        s.library.Close();
        s.Note("load " + libraryPath + " failed: " + reason);
        if (error != nullptr) *error = reason;
        return false;
    };
    std::string reason;
    if (!s.library.Open(libraryPath, &reason)) return fail(reason);
    auto load = reinterpret_cast<PluginLoadFunction>(s.library.Find(name.c_str()));
    if (load == nullptr) return fail("the library has no export '" + name + "'");

    PluginHostRecord record;
    std::memset(static_cast<void*>(&record), 0, sizeof(record));
    record.major = s.version.major;
    record.minor = s.version.minor;
    record.patch = s.version.patch;
    if (!load(&record)) return fail("'" + name + "' did not load the plug-in");
    // Without start and stop the plug-in can be neither run nor destroyed.
    if (record.callbacks == nullptr || record.callbacks->start == nullptr || record.callbacks->stop == nullptr) {
        return fail("'" + name + "' gave no start and stop callbacks");
    }
    s.record = record;
    s.callbacks = *record.callbacks;
    s.loaded = true;
    s.stopped = false;
    s.Note("load " + libraryPath + ": '" + (record.shortName != nullptr ? record.shortName : "") + "' " +
           std::to_string(record.major) + "." + std::to_string(record.minor) + "." + std::to_string(record.patch));
    return true;
}

const PluginHostRecord& SimulatedHost::Record() const { return state_->record; }

bool SimulatedHost::Start() {
    State& s = *state_;
    if (!s.loaded || s.started || s.stopped) {
        s.Note(std::string("start refused: ") +
               (!s.loaded ? "no plug-in loaded" : s.started ? "already started" : "stopped, load it again"));
        return false;
    }
    s.startRecord = PluginStartRecord{&s.table.api, kHostContext};
    // Started even when its start operation fails: the object exists, and
    // only stop destroys it.
    s.started = true;
    s.Note("start");
    const bool ok = s.callbacks.start(s.record.plugin, &s.startRecord);
    s.Note(ok ? "started" : "start failed");
    return ok;
}

void SimulatedHost::Stop() {
    State& s = *state_;
    if (!s.started) return;
    s.Note("stop");
    s.callbacks.stop(s.record.plugin);
    s.started = false;
    s.stopped = true;
    // What the stopped instance left behind belonged to it alone.
    s.subscriptions.clear();
    for (const PendingTask& task : s.pending) {
        if (RecordedTask* record = s.Task(task.record)) record->dropped = true;
    }
    s.Note(s.pending.empty() ? "stopped" : "stopped, " + std::to_string(s.pending.size()) + " pending tasks dropped");
    s.pending.clear();
    s.ReclaimResponses();
}

void SimulatedHost::Unload() {
    State& s = *state_;
    Stop();
    if (!s.loaded) return;
    s.library.Close();
    s.loaded = false;
    s.Note("unload");
}

bool SimulatedHost::IsLoaded() const { return state_->loaded; }

bool SimulatedHost::IsStarted() const { return state_->started; }

PluginMemoryStatistics SimulatedHost::MemoryStatistics() const {
    PluginMemoryStatistics statistics;
    std::memset(static_cast<void*>(&statistics), 0, sizeof(statistics));
    if (state_->loaded && state_->callbacks.memoryStatistics != nullptr) {
        state_->callbacks.memoryStatistics(nullptr, &statistics);
    }
    return statistics;
}

void SimulatedHost::SetVersion(HostVersion version) { state_->version = version; }

uintptr_t SimulatedHost::Context() const { return kHostContext; }

void SimulatedHost::SetResource(const std::string& path, BindingProperty value) {
    state_->store.Set(path, std::move(value));
}

void SimulatedHost::RemoveResource(const std::string& path) { state_->store.Remove(path); }

const BindingProperty* SimulatedHost::FindResource(const std::string& path) const { return state_->store.Find(path); }

void SimulatedHost::SetEndpoint(uint32_t method, const std::string& path, Endpoint endpoint) {
    state_->endpoints[{method, path}] = std::move(endpoint);
}

void SimulatedHost::RemoveEndpoint(uint32_t method, const std::string& path) {
    state_->endpoints.erase({method, path});
}

void SimulatedHost::SetAnswerHook(AnswerHook hook) { state_->answerHook = std::move(hook); }

std::string SimulatedHost::EventNameForPath(const std::string& path) {
    std::vector<std::string> elements{"OnJsonApiEvent"};
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) elements.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    const std::size_t keep = elements.size() > 1 && elements[1] == "qel-platform-config" ? 6 : 4;
    elements.resize(std::min(elements.size(), keep));
    std::string name = elements.front();
    for (std::size_t i = 1; i < elements.size(); ++i) name += "_" + elements[i];
    return name;
}

int SimulatedHost::Create(const std::string& path, BindingProperty body) {
    SetResource(path, body);
    return DeliverResourceEvent(EventNameForPath(path), path, EventType::Create, body);
}

int SimulatedHost::Update(const std::string& path, BindingProperty body) {
    SetResource(path, body);
    return DeliverResourceEvent(EventNameForPath(path), path, EventType::Update, body);
}

int SimulatedHost::Delete(const std::string& path) {
    RemoveResource(path);
    return DeliverResourceEvent(EventNameForPath(path), path, EventType::Delete, std::nullopt);
}

int SimulatedHost::DeliverResourceEvent(const std::string& eventName, const std::string& uri, EventType type,
                                        const std::optional<BindingProperty>& data) {
    BindingProperty payload;
    payload.Member("uri").SetString(uri);
    payload.Member("eventType").SetString(EventTypeName(type));
    std::string line = "event " + eventName;
    line.append(" ").append(EventTypeName(type)).append(" ").append(uri);
    if (data) {
        payload.Member("data") = *data;
        line.append(" ").append(JsonText(*data));
    }
    return state_->DeliverValue(eventName, payload, line);
}

int SimulatedHost::DeliverEvent(const std::string& eventName, const BindingProperty& payload) {
    return state_->DeliverValue(eventName, payload, "event " + eventName + " " + JsonText(payload));
}

int SimulatedHost::DeliverFlatEvent(const char* eventName, const BindingFlatValue& payload, RecordFault fault) {
    const std::string name = eventName != nullptr ? eventName : "";
    // A hostile payload may point anywhere: only its kind is shown.
    state_->Note("event " + (eventName != nullptr ? name : "(no name)") + " (flat payload of kind " +
                 std::to_string(payload.kind) + ")" + (state_->CountSubscriptions(name) == 0 ? " (not subscribed)" : "") +
                 (fault == RecordFault::NullName ? " without its name" : "") +
                 (fault == RecordFault::NullUser ? " without its user word" : ""),
                 TraceLane::Event);
    return state_->Deliver(eventName, payload, fault);
}

bool SimulatedHost::IsSubscribed(const std::string& eventName) const {
    return state_->CountSubscriptions(eventName) != 0;
}

CallResult SimulatedHost::CallFunction(const FunctionCall& call) { return state_->CallFunction(call); }

uint64_t SimulatedHost::Now() const { return state_->now; }

void SimulatedHost::Advance(uint64_t nanoseconds) {
    State& s = *state_;
    const uint64_t end = SaturatingAdd(s.now, nanoseconds);
    for (uint64_t ran = 0; s.taskLimit == 0 || ran < s.taskLimit; ++ran) {
        // Searched afresh each time: a task may schedule further tasks.
        auto next = std::min_element(s.pending.begin(), s.pending.end(), [](const PendingTask& a, const PendingTask& b) {
            return a.due != b.due ? a.due < b.due : a.sequence < b.sequence;
        });
        if (next == s.pending.end() || next->due > end) break;
        const PendingTask task = *next;
        s.pending.erase(next);
        s.now = std::max(s.now, task.due);
        if (s.Interact(Interaction::Kind::Task, "task '" + task.name + "'") == InjectedFault::TaskDropped) {
            if (RecordedTask* record = s.Task(task.record)) record->dropped = true;
            continue;
        }
        if (RecordedTask* record = s.Task(task.record)) record->ran = true;
        s.Note("task '" + task.name + "'", TraceLane::Task);
        task.function(task.user);
    }
    // A task's own Advance (through the yield hook) may have gone further.
    s.now = std::max(s.now, end);
}

std::size_t SimulatedHost::PendingTaskCount() const { return state_->pending.size(); }

void SimulatedHost::SetTaskLimit(uint64_t tasks) { state_->taskLimit = tasks; }

uint32_t SimulatedHost::MissedDuringCount() const { return state_->missedDuring; }

const std::vector<Interaction>& SimulatedHost::Interactions() const { return state_->interactions; }

void SimulatedHost::InjectFault(uint64_t index, InjectedFault fault) {
    state_->faultAt = index;
    state_->fault = fault;
}

InjectedFault HostState::Interact(Interaction::Kind kind, std::string label) {
    interactions.push_back({kind, std::move(label)});
    if (interactions.size() != faultAt) return InjectedFault::None;
    const bool fits = kind == Interaction::Kind::Answer
                          ? fault == InjectedFault::AnswerFails || fault == InjectedFault::AnswerWrongKind
                      : kind == Interaction::Kind::Read
                          ? fault == InjectedFault::ReadFails || fault == InjectedFault::ReadEndsShort
                          : fault == InjectedFault::TaskDropped;
    if (!fits) return InjectedFault::None;
    Note(std::string("injecting a fault: ") + InjectedFaultName(fault) + " at " + interactions.back().label);
    return fault;
}

const char* InjectedFaultName(InjectedFault fault) {
    switch (fault) {
        case InjectedFault::None: return "none";
        case InjectedFault::AnswerFails: return "the request fails";
        case InjectedFault::AnswerWrongKind: return "the body is of the wrong kind";
        case InjectedFault::ReadFails: return "the read fails";
        case InjectedFault::ReadEndsShort: return "the stream ends short";
        case InjectedFault::TaskDropped: return "the task is dropped";
    }
    return "?";
}

const std::vector<RecordedRequest>& SimulatedHost::Requests() const { return state_->requests; }

const std::vector<RecordedSubscription>& SimulatedHost::Subscriptions() const { return state_->subscriptionRecords; }

const std::vector<RecordedTask>& SimulatedHost::Tasks() const { return state_->tasks; }

const std::vector<RecordedLogLine>& SimulatedHost::LogLines() const { return state_->logLines; }

const std::vector<RecordedCall>& SimulatedHost::Calls() const { return state_->calls; }

uint32_t SimulatedHost::YieldCount() const { return state_->yields; }

const std::vector<std::string>& SimulatedHost::WaitLabels() const { return state_->waitLabels; }

uint32_t SimulatedHost::EndWaitCount() const { return state_->endWaits; }

const std::vector<std::string>& SimulatedHost::Trace() const { return state_->trace; }
const std::vector<TraceMark>& SimulatedHost::TraceMarks() const { return state_->traceMarks; }

void SimulatedHost::ClearRecords() {
    State& s = *state_;
    // Calls still under way (streams being read, tasks pending) no longer
    // update the records that are dropped here.
    ++s.generation;
    s.requests.clear();
    s.subscriptionRecords.clear();
    s.tasks.clear();
    s.logLines.clear();
    s.calls.clear();
    s.yields = 0;
    s.waitLabels.clear();
    s.endWaits = 0;
    s.trace.clear();
    s.traceMarks.clear();
}

void SimulatedHost::SetYieldHook(std::function<void()> hook) { state_->yieldHook = std::move(hook); }

}  // namespace Vorn::Host

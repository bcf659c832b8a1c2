#pragma once
// The simulated host's inner state, shared by the files that implement it:
// the loaded library, the function table handed to the plug-in, the store,
// subscriptions, pending tasks, the responses the plug-in still holds and the
// records of what happened.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/resource_store.h"
#include "host/simulated_host.h"
#include "platform/shared_library.h"

namespace Vorn::Host {

// The table the plug-in receives. The HostApi comes first, so the table
// pointer that every host function gets leads back to its host.
struct HostState;

struct HostTable {
    HostApi api;
    HostState* state;
};

struct ActiveSubscription {
    uint64_t id = 0;  // tells a subscription apart from a later one of the same name
    std::string eventName;
    uintptr_t context = 0;
    HostEventFunction function = nullptr;
    uintptr_t user = 0;
    uint32_t kind = 0;
};

// A record is addressed by its index in the list of the records generation
// it was made in; clearing the records starts a new generation, so late news
// of an old call updates nothing.
struct RecordRef {
    std::size_t index = 0;
    uint64_t generation = 0;
};

struct PendingTask {
    uint64_t sequence = 0;  // orders tasks that fall due together
    uint64_t due = 0;
    std::string name;
    HostTaskFunction function = nullptr;
    uintptr_t user = 0;
    RecordRef record;
};

// A body handed out as JSON text through the stream functions.
struct StreamBody {
    HostState* state = nullptr;
    std::string label;  // method and path, for the trace
    std::string text;
    std::size_t offset = 0;
    uint32_t chunk = 0;
    std::optional<uint32_t> failAtRead;
    uint32_t overReport = 0;
    uint32_t reads = 0;
    bool released = false;
    RecordRef record;
    std::function<void()> during;
    uint32_t duringAfterRead = 1;
    bool duringRan = false;
};

// What the host owns of one response until the plug-in releases it.
struct ResponseHold {
    std::string label;  // method and path, for the trace
    BindingFlatValue body{};
    char* error = nullptr;
    std::unique_ptr<StreamBody> stream;
    RecordRef record;
};

// SimulatedHost::State is this, under a name the implementation files can use.
struct HostState {
    HostState();
    ~HostState();
    HostState(const HostState&) = delete;
    HostState& operator=(const HostState&) = delete;

    // --- Life of the plug-in
    HostVersion version;
    Platform::SharedLibrary library;
    PluginHostRecord record{};
    // Copied at load: the functions live as long as the library, so the
    // statistics can still be read after stop has destroyed the plug-in.
    PluginCallbacks callbacks{};
    bool loaded = false;
    bool started = false;
    bool stopped = false;  // this instance was stopped: a new one needs a new load
    HostTable table{};
    PluginStartRecord startRecord{};

    // --- What the host serves
    ResourceStore store;
    std::map<std::pair<uint32_t, std::string>, SimulatedHost::Endpoint> endpoints;
    std::vector<ActiveSubscription> subscriptions;
    uint64_t nextSubscriptionId = 1;
    std::vector<PendingTask> pending;
    uint64_t nextTaskSequence = 1;
    std::map<const HostResponse*, std::unique_ptr<ResponseHold>> responses;
    uint64_t now = 0;
    std::function<void()> yieldHook;
    SimulatedHost::AnswerHook answerHook;
    StreamBody* lastRead = nullptr;  // the stream read last, while it lives
    uint32_t missedDuring = 0;
    uint64_t taskLimit = 0;  // tasks one Advance runs at most; 0: no limit
    std::vector<Interaction> interactions;
    uint64_t faultAt = 0;
    InjectedFault fault = InjectedFault::None;

    // Records an interaction; the fault to inject at it, if any.
    InjectedFault Interact(Interaction::Kind kind, std::string label);

    // --- What happened
    uint64_t generation = 1;
    std::vector<RecordedRequest> requests;
    std::vector<RecordedSubscription> subscriptionRecords;
    std::vector<RecordedTask> tasks;
    std::vector<RecordedLogLine> logLines;
    std::vector<RecordedCall> calls;
    uint32_t yields = 0;
    std::vector<std::string> waitLabels;
    uint32_t endWaits = 0;
    std::vector<std::string> trace;

    std::vector<TraceMark> traceMarks;
    // A trace line at the current time.
    void Note(const std::string& line, TraceLane lane = TraceLane::Life);
    RecordedRequest* Request(const RecordRef& ref);
    RecordedTask* Task(const RecordRef& ref);

    // --- Serving requests (host_responses.cpp)
    void ServeRequest(HostResponse* response, const HostRequest* request);
    void Reply(HostResponse* response, Answer answer, const RecordRef& ref, const std::string& label,
               const std::string& parameters);
    // Frees what a response owns; `byPlugin` records that the plug-in let go.
    void Finish(const HostResponse* response, bool byPlugin);
    // Frees every response the stopped plug-in never released.
    void ReclaimResponses();
    bool Read(StreamBody& stream, void* buffer, uint32_t* length, bool* more);
    // Inside a yield: the `during` of the stream read last, when due.
    void RunDuringRead();

    // --- Calls of exposed functions (function_calls.cpp)
    CallResult CallFunction(const FunctionCall& call);

    // --- Events and tasks (simulated_host.cpp)
    int Deliver(const char* eventName, const BindingFlatValue& payload, RecordFault fault = RecordFault::None);
    int CountSubscriptions(const std::string& eventName) const;
    int DeliverValue(const std::string& eventName, const BindingProperty& payload, const std::string& line);
};

// Virtual time stops at its end rather than wrapping round.
inline uint64_t SaturatingAdd(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

// The ten host functions, in table order (host_functions.cpp).
HostApi HostFunctions();

}  // namespace Vorn::Host

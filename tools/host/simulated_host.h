#pragma once
// A host for plug-ins, simulated in memory: it loads a plug-in library through
// its one export, starts and stops it, and serves the host functions over an
// in-memory resource store, with endpoints that tests install, events it
// delivers on request and delayed tasks on a virtual clock. It records every
// call the plug-in makes, so tests and the host simulator read what happened.
//
// Only the boundary records are shared with the plug-in: values cross as
// flat records that this side builds and frees with its own heap.
//
// Not thread-safe: like the real host, it calls the plug-in one call at a
// time, on the thread that drives it.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "binding/binding_property.h"
#include "dispatch/host_call_records.h"
#include "plugin/host_records.h"

namespace Vorn::Host {

struct HostVersion {
    uint32_t major = 18;
    uint32_t minor = 0;
    uint32_t patch = 0;
};

// How the host answers one request.
struct Answer {
    // Success: the body (an empty value gives an empty body).
    BindingProperty body;
    // Failure when error is set: the error text and status of the response.
    std::optional<std::string> error;
    uint32_t status = 0;
    // Non-zero: the body goes out as its compact JSON text, streamed in reads
    // of at most this many bytes; each read's more-flag says whether bytes
    // remain. With an error, the stream goes along with it.
    uint32_t streamChunk = 0;
    // Stream faults, for tests: the read with this index (from 0) fails;
    // every read reports this many bytes more than it delivered.
    std::optional<uint32_t> streamFailAtRead;
    uint32_t streamOverReport = 0;
    // Streamed answers: these bytes instead of the body's JSON (bodies that
    // are not JSON), and this size hint instead of their length (hints that
    // lie).
    std::optional<std::string> streamText;
    std::optional<uint32_t> streamSizeHint;
    // A raw flat body sent exactly as given instead of the body (hostile
    // bodies); this side does not release it.
    std::optional<BindingFlatValue> flatBody;
    // Re-entry, for streamed answers: run once inside the plug-in's yield
    // that follows read number duringAfterRead (from 1) of the stream, as a
    // host may call into the plug-in while it waits. A plug-in that does not
    // yield there never sees it (see MissedDuringCount).
    std::function<void()> during;
    uint32_t duringAfterRead = 1;

    static Answer Body(BindingProperty body);
    static Answer Error(uint32_t status, std::string text);
    static Answer Streamed(BindingProperty body, uint32_t chunk);
};

struct RecordedParameter {
    std::optional<std::string> name;  // null names stay absent
    BindingProperty value;
};

struct RecordedRequest {
    uint64_t time = 0;  // virtual nanoseconds
    uint32_t method = 0;
    std::string path;
    std::vector<RecordedParameter> parameters;
    uintptr_t context = 0;
    // The fields a request does not use (offsets 16-39, and 44 unless the
    // method is custom) were zero.
    bool unusedZero = true;
    // The answer given.
    uint32_t status = 0;
    std::optional<std::string> error;
    bool streamed = false;
    uint32_t streamReads = 0;    // reads the plug-in made
    bool streamReleased = false; // the plug-in called the stream release
    uint32_t streamReleases = 0; // how often (more than once is a fault)
    bool released = false;       // the plug-in called the record's release
};

struct RecordedSubscription {
    uint64_t time = 0;
    std::string eventName;
    uintptr_t context = 0;
    uint32_t kind = 0;          // 0 resource events, 1 service proxy
    bool subscribe = true;      // false: an unsubscription
};

struct RecordedTask {
    uint64_t time = 0;          // when it was scheduled
    std::string name;
    double delaySeconds = 0;
    uint64_t due = 0;           // virtual nanoseconds
    bool ran = false;
    bool dropped = false;       // its plug-in stopped before it was due
};

struct RecordedLogLine {
    uint64_t time = 0;
    int32_t level = 0;
    std::string text;
};

enum class EventType { Create = 0, Update = 1, Delete = 2 };

// Which part of the host's story a trace line tells: the plug-in's life
// (load, start, subscriptions, waits), events delivered, requests with their
// answers and stream reads, delayed tasks, log lines, calls of exposed
// functions.
enum class TraceLane { Life, Event, Request, Task, Log, Call };

// When and in which lane each trace line happened, in the trace's order.
struct TraceMark {
    uint64_t time = 0;  // virtual nanoseconds
    TraceLane lane = TraceLane::Life;
};

// How a hostile host spoils the event record it hands over.
enum class RecordFault { None, NullName, NullUser };

// What the host does for the plug-in, in order: answer a request, serve a
// stream read, run a delayed task. Faults are injected at one of them.
struct Interaction {
    enum class Kind { Answer, Read, Task } kind = Kind::Answer;
    std::string label;  // "GET /path", "read 2 of GET /path", "task 'Timer: x'"
};

enum class InjectedFault {
    None,
    AnswerFails,      // status 500 and an error text instead of the answer
    AnswerWrongKind,  // the body is a value of another kind
    ReadFails,        // the read returns false
    ReadEndsShort,    // the read gives nothing and says nothing more is to come
    TaskDropped,      // the task never runs
};
const char* InjectedFaultName(InjectedFault fault);

// A call of a function the plug-in exposes, as the host makes it.
struct FunctionCall {
    std::string function;       // the name of its entry in the API table
    uint32_t method = 0;        // a HostMethodCode
    std::string customMethod;   // sent along; the plug-in reads it for method 8
    std::string path;           // query included
    std::vector<std::pair<std::string, std::string>> headers;
    // Named values, converted to flat values by this side; a value without a
    // name is positional.
    std::vector<RecordedParameter> values;
    // Raw named values sent exactly as given instead of `values` (hostile
    // calls); this side does not release them.
    std::optional<std::vector<HostNamedValue>> flatValues;
    std::optional<std::string> body;         // the bytes; absent: no body
    std::optional<std::string> contentType;  // absent: no content type at all
    uintptr_t requestWord = 0;
};

// What the plug-in answered, read out of its response record.
struct CallResult {
    // False when the API table has no entry of that name (or one without a
    // call function); nothing was called then, and error says why.
    bool called = false;
    BindingProperty value;  // the result value
    std::optional<std::string> error;
    bool failed = false;
    uint8_t flag = 0;
    uint32_t resultForm = 0;
    uint32_t status = 0;
    std::string text;
    std::vector<std::pair<std::string, std::string>> headers;
    // A streamed body, read to its end (or its first failed read), then
    // released through the stream's own function.
    bool streamed = false;
    uint32_t streamSize = 0;  // the plug-in's hint
    std::string stream;
    bool streamFailed = false;
    // The record's release function was called and left all of it zero.
    bool released = false;
};

struct RecordedCall {
    uint64_t time = 0;
    FunctionCall call;
    CallResult result;
};

class SimulatedHost {
public:
    explicit SimulatedHost(HostVersion version = {});
    ~SimulatedHost();  // stops a started plug-in and unloads the library
    SimulatedHost(const SimulatedHost&) = delete;
    SimulatedHost& operator=(const SimulatedHost&) = delete;

    // --- The plug-in's life ---------------------------------------------
    // Loads the library and calls its export (by default "load_" + the file
    // name without directory and extension, "-" as "_"). False with a reason
    // when the library or export is missing or the export returns false.
    bool Load(const std::string& libraryPath, std::string* error, const std::string& exportName = {});
    // The record as the export filled it.
    const PluginHostRecord& Record() const;
    // Calls the start callback with this host's table and context word.
    // Refused without a loaded plug-in, when started already, and after stop
    // until the next Load. A plug-in whose start fails still counts as
    // started: only its stop destroys it.
    bool Start();
    // Calls the stop callback. The stopped instance's subscriptions are
    // forgotten and its pending tasks dropped (recorded as dropped).
    void Stop();
    // Stop if started, then unload the library.
    void Unload();
    bool IsLoaded() const;
    bool IsStarted() const;
    // Zeros while no library is loaded; answered after stop as well.
    PluginMemoryStatistics MemoryStatistics() const;
    void SetVersion(HostVersion version);
    uintptr_t Context() const;  // the context word handed to start

    // --- The resource store and endpoints --------------------------------
    // A GET of a stored path answers its value; of an absent one, status 404
    // and "Not found". PATCH merges its parameter value into the stored one
    // (structures member by member, recursively; anything else replaces),
    // PUT replaces, DELETE removes, POST stores nothing; each succeeds with
    // an empty body and delivers no event.
    void SetResource(const std::string& path, BindingProperty value);
    void RemoveResource(const std::string& path);
    const BindingProperty* FindResource(const std::string& path) const;

    using Endpoint = std::function<Answer(const RecordedRequest& request)>;
    // Answers method + path (the whole path text) before the store does; a
    // later endpoint for the same method and path replaces the earlier one.
    void SetEndpoint(uint32_t method, const std::string& path, Endpoint endpoint);
    void RemoveEndpoint(uint32_t method, const std::string& path);
    // Sees and may change every answer, whoever made it, before it goes out
    // (a hostile host streams them all, or re-enters during each).
    using AnswerHook = std::function<void(const RecordedRequest& request, Answer& answer)>;
    void SetAnswerHook(AnswerHook hook);

    // --- Events --------------------------------------------------------------
    // The host's event name for a path: "OnJsonApiEvent" and the path's
    // non-empty segments joined by "_", the first 4 elements (6 when the
    // second is "qel-platform-config").
    static std::string EventNameForPath(const std::string& path);
    // Sets the store and delivers the event for the path (name by the rule
    // above, uri the path, data the body); Delete removes and sends no data.
    // Each returns the number of subscriptions the event reached.
    int Create(const std::string& path, BindingProperty body);
    int Update(const std::string& path, BindingProperty body);
    int Delete(const std::string& path);
    // A resource event as the host builds it: a structure {uri, eventType (by
    // name), data (left out when absent)}.
    int DeliverResourceEvent(const std::string& eventName, const std::string& uri, EventType type,
                             const std::optional<BindingProperty>& data);
    // Any payload value, converted to a flat value by this side.
    int DeliverEvent(const std::string& eventName, const BindingProperty& payload);
    // A raw flat payload exactly as given (hostile payloads); this side does
    // not release it. The subscriptions of the name receive it in a record
    // spoilt as asked: without its event name or its user word.
    int DeliverFlatEvent(const char* eventName, const BindingFlatValue& payload, RecordFault fault = RecordFault::None);
    bool IsSubscribed(const std::string& eventName) const;

    // --- Exposed functions ----------------------------------------------------
    // Calls an exposed function through the API table the plug-in handed over
    // at load: its entry's call function, with its context pointer. The
    // response record is handed in uninitialised (filled with a pattern), as
    // a host's may be, and released through its release function after
    // being read. Works while a plug-in is loaded, started or not, until it
    // is stopped (its API table goes with it).
    CallResult CallFunction(const FunctionCall& call);

    // --- Time ----------------------------------------------------------------
    uint64_t Now() const;  // virtual nanoseconds since the host started
    // Moves the clock forward, running every task that falls due on the way
    // in deadline order (ties in scheduling order), each at its deadline;
    // tasks scheduled while running are run too when due within the span.
    void Advance(uint64_t nanoseconds);
    std::size_t PendingTaskCount() const;
    // At most this many tasks run in one Advance (0, the default: no limit);
    // the rest stay pending. A host runs a bounded number of tasks per turn:
    // a task that schedules itself again at no delay would otherwise keep
    // the virtual clock from moving at all.
    void SetTaskLimit(uint64_t tasks);

    // --- What happened -------------------------------------------------------
    const std::vector<RecordedRequest>& Requests() const;
    const std::vector<RecordedSubscription>& Subscriptions() const;
    const std::vector<RecordedTask>& Tasks() const;
    const std::vector<RecordedLogLine>& LogLines() const;
    const std::vector<RecordedCall>& Calls() const;
    uint32_t YieldCount() const;
    const std::vector<std::string>& WaitLabels() const;  // labels of begin-wait calls
    uint32_t EndWaitCount() const;
    // A readable line per host call and delivered event, with virtual time:
    // "[   12.500s] GET /path params=[{...}] -> 200 {...}", "... -> 404 Not
    // found", "subscribe OnJsonApiEvent_x", "schedule 'Timer: x' in 0.250s",
    // "task 'Timer: x'", "log ERROR text", "event OnJsonApiEvent_x Update
    // /uri {...}", "call Echo GET /echo/v1/items/7 -> {...}", "call Echo GET
    // /x -> 404 Invalid function"; values as compact JSON.
    const std::vector<std::string>& Trace() const;
    // One mark per trace line.
    const std::vector<TraceMark>& TraceMarks() const;
    // Forgets what happened. What is under way (subscriptions, pending tasks,
    // responses not yet released) carries on without updating the records.
    void ClearRecords();

    // Runs inside the yield entry (the host may call into the plug-in there).
    void SetYieldHook(std::function<void()> hook);
    // Streamed answers whose `during` never ran: the plug-in released the
    // stream without yielding after the read it was meant for.
    uint32_t MissedDuringCount() const;

    // --- Faults ----------------------------------------------------------------
    // Every interaction so far (not cleared with the records).
    const std::vector<Interaction>& Interactions() const;
    // Injects the fault at interaction number `index` (from 1) of this host's
    // life; a fault that does not fit the interaction's kind does nothing.
    void InjectFault(uint64_t index, InjectedFault fault);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace Vorn::Host

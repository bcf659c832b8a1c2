// The runtime's own paths, each beside a hand-written path that does the same
// work on the same host records without the binding layer (the flat records
// read straight into native structures and written straight from them):
//   - one resource event of a queue list (1, 50, 500 queues): the host's
//     event record through the event function, conversion and dispatch to a
//     typed handler;
//   - one call of vorn-echo's Echo (path, query and header arguments) and
//     Submit (a 1 KiB JSON body) through CallExposedFunction, the response
//     filled and released;
//   - one typed request: a registered record as parameters, the host's answer
//     as a flat value read back into a registered record.
// The host is the smallest that serves these: it keeps the event function
// the plug-in subscribes and answers every request with one stored value.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <strings.h>

#include "binding/flat_value.h"
#include "dispatch/function_call.h"
#include "plugin/plugin_loader.h"
#include "queue_record.h"
#include "support/memory_hooks.h"

extern "C" bool VORN_HOST_CALL load_vorn_echo(PluginHostRecord* record);

namespace VornBench {
namespace {

using Vorn::BindingProperty;

constexpr const char* kQueuesPath = "/bench/v1/queues";
constexpr const char* kQueuesEvent = "OnJsonApiEvent_bench_v1_queues";
constexpr const char* kEchoQueuePath = "/bench/v1/echo-queue";

// --- The host ------------------------------------------------------------------

struct BenchHost {
    HostApi api{};
    PluginStartRecord start{};
    HostEventFunction eventFunction = nullptr;
    uintptr_t eventUser = 0;
    // What every request is answered with (borrowed: the host keeps it).
    BindingFlatValue answer{};
};

BenchHost& Host() {
    static BenchHost host;
    return host;
}

void VORN_HOST_CALL KeepNothing(HostResponse*) {}

void VORN_HOST_CALL Answer(const HostApi*, HostResponse* response, const HostRequest* request) {
    std::memset(static_cast<void*>(response), 0, sizeof(*response));
    response->release = &KeepNothing;
    if (std::strcmp(request->path, kEchoQueuePath) != 0) {
        // Nothing stored under the observed path: no first delivery at start.
        static char notFound[] = "Not found";
        response->error = notFound;
        response->status = 404;
        return;
    }
    response->body = Host().answer;
}

void VORN_HOST_CALL KeepSubscription(const HostApi*, const char* eventName, uintptr_t, HostEventFunction function,
                                     uintptr_t user, uint32_t) {
    if (std::strcmp(eventName, kQueuesEvent) != 0) return;
    Host().eventFunction = function;
    Host().eventUser = user;
}

// Loads and starts a plug-in through its export, as a host does; the plug-in
// stays for the whole run.
PluginHostRecord StartPlugin(bool (*load)(PluginHostRecord*)) {
    BenchHost& host = Host();
    host.api.sendRequest = &Answer;
    host.api.subscribe = &KeepSubscription;
    host.start.api = &host.api;
    host.start.context = 1;
    const Vorn::PluginApiVersion version = Vorn::RuntimeApiVersion();
    PluginHostRecord record{version.major, version.minor, version.patch, nullptr, nullptr, nullptr, nullptr};
    if (!load(&record) || !record.callbacks->start(record.plugin, &host.start)) {
        throw std::runtime_error("the benchmark plug-in did not start");
    }
    return record;
}

// --- The plug-in of the event and request paths ----------------------------------

class PathsPlugin : public Vorn::PluginBase {
public:
    void RegisterTypes() override { RegisterQueueTypes(Registry()); }
    bool Start() override {
        ObserveResource<std::vector<QueueRecord>>(kQueuesPath, [this](const Vorn::ResourceEvent<std::vector<QueueRecord>>& event) {
            received += event.data.size();
        });
        return true;
    }
    std::size_t received = 0;
};

PathsPlugin& Paths() {
    static PathsPlugin* plugin = [] {
        const PluginHostRecord record = StartPlugin([](PluginHostRecord* r) {
            return Vorn::LoadPlugin(new PathsPlugin(), r, "bench-paths");
        });
        return static_cast<PathsPlugin*>(record.plugin);
    }();
    return *plugin;
}

// --- Reading flat records by hand --------------------------------------------------

std::string_view Text(const BindingFlatValue& v) {
    if ((v.kind == kFlatBorrowedString || v.kind == kFlatOwnedString) && v.payload.string.text != nullptr) {
        return v.payload.string.text;
    }
    return {};
}

bool ReadInt32(const BindingFlatValue& v, int32_t& out) {
    if (v.kind == kFlatSigned && v.payload.i >= INT32_MIN && v.payload.i <= INT32_MAX) {
        out = static_cast<int32_t>(v.payload.i);
        return true;
    }
    if (v.kind == kFlatUnsigned && v.payload.u <= INT32_MAX) {
        out = static_cast<int32_t>(v.payload.u);
        return true;
    }
    return v.kind == kFlatEmpty;
}

bool ReadUInt64(const BindingFlatValue& v, uint64_t& out) {
    if (v.kind == kFlatUnsigned || (v.kind == kFlatSigned && v.payload.i >= 0)) {
        out = v.payload.u;
        return true;
    }
    return v.kind == kFlatEmpty;
}

template <typename E, std::size_t N>
bool ReadEnum(const BindingFlatValue& v, E& out, const char* const (&names)[N]) {
    if (v.kind == kFlatSigned) {
        if (v.payload.i < 0 || v.payload.i >= static_cast<int64_t>(N)) return false;
        out = static_cast<E>(v.payload.i);
        return true;
    }
    const std::string_view text = Text(v);
    for (std::size_t i = 0; i < N; ++i) {
        if (text == names[i]) {
            out = static_cast<E>(i);
            return true;
        }
    }
    return v.kind == kFlatEmpty;
}

bool ReadQueue(const BindingFlatValue& v, QueueRecord& q) {
    if (v.kind != kFlatStructure) return false;
    for (uint32_t i = 0; i < v.payload.structure.count; ++i) {
        const BindingFlatMember& member = v.payload.structure.members[i];
        const BindingFlatValue value = Vorn::LoadMemberValue(member);
        const std::string_view name = member.name != nullptr ? member.name : "";
        bool ok = true;
        if (name == "id") ok = ReadInt32(value, q.id);
        else if (name == "mapId") ok = ReadInt32(value, q.mapId);
        else if (name == "name") q.name.assign(Text(value));
        else if (name == "gameMode") q.gameMode.assign(Text(value));
        else if (name == "gameMutator") q.gameMutator.assign(Text(value));
        else if (name == "category") ok = ReadEnum(value, q.category, kCategoryNames);
        else if (name == "lastToggledOffTime") ok = ReadUInt64(value, q.lastToggledOffTime);
        else if (name == "lastToggledOnTime") ok = ReadUInt64(value, q.lastToggledOnTime);
        else if (name == "queueAvailability") ok = ReadEnum(value, q.queueAvailability, kAvailabilityNames);
        if (!ok) return false;
    }
    return true;
}

// --- Resource events ---------------------------------------------------------------

// The host's record of an Update of the queue list, as the host builds it:
// uri, eventType and data, texts owned by the flat value.
struct QueueEvent {
    explicit QueueEvent(int count) {
        BindingProperty payload;
        payload.Member("uri").SetString(std::string_view(kQueuesPath));
        payload.Member("eventType").SetString(std::string_view("Update"));
        BindingProperty& data = payload.Member("data");
        data.MakeCollection();
        for (const QueueRecord& q : MakeQueues(count)) {
            BindingProperty& item = data.AppendElement();
            item.Member("id").SetSigned(q.id);
            item.Member("mapId").SetSigned(q.mapId);
            item.Member("name").SetString(std::string_view(q.name));
            item.Member("gameMode").SetString(std::string_view(q.gameMode));
            item.Member("gameMutator").SetString(std::string_view(q.gameMutator));
            item.Member("category").SetString(std::string_view(kCategoryNames[static_cast<int>(q.category)]));
            item.Member("lastToggledOffTime").SetUnsigned(q.lastToggledOffTime);
            item.Member("lastToggledOnTime").SetUnsigned(q.lastToggledOnTime);
            item.Member("queueAvailability")
                .SetString(std::string_view(kAvailabilityNames[static_cast<int>(q.queueAvailability)]));
        }
        if (!Vorn::FlatFromValue(payload, nullptr, &record.payload)) throw std::runtime_error("payload");
        record.eventName = kQueuesEvent;
    }
    ~QueueEvent() { Vorn::ReleaseFlatValue(&record.payload); }
    HostEventRecord record{};
};

// Heap blocks taken per iteration, as the memory counters the host reads
// count them: the library's heap functions and, since the benchmark
// replaces the global allocation functions as a plug-in does, the C++
// heap's. Each is two locked additions to the counters, and a release.
class HeapBlocksPerIteration {
public:
    explicit HeapBlocksPerIteration(benchmark::State& state) : state_(state), before_(Count()) {}
    ~HeapBlocksPerIteration() {
        if (state_.iterations() == 0) return;
        state_.counters["heap_blocks"] =
            static_cast<double>(Count() - before_) / static_cast<double>(state_.iterations());
    }

private:
    static uint64_t Count() { return Vorn::ModuleMemoryCounters().allocations.load(); }
    benchmark::State& state_;
    uint64_t before_;
};

void EventVorn(benchmark::State& state, int count) {
    PathsPlugin& plugin = Paths();
    QueueEvent event(count);
    event.record.user = Host().eventUser;
    const std::size_t before = plugin.received;
    HeapBlocksPerIteration blocks(state);
    for (auto _ : state) Host().eventFunction(&event.record);
    if (plugin.received - before != state.iterations() * static_cast<std::size_t>(count)) {
        state.SkipWithError("the handler did not receive every queue");
    }
}

// What a plug-in written against the records alone would do: check the event,
// route it by path, read the list into the handler's records, call it.
struct HandwrittenReceiver {
    std::function<void(const std::vector<QueueRecord>&)> handler;
    std::size_t received = 0;

    void Deliver(const HostEventRecord* event) {
        if (event == nullptr || event->eventName == nullptr || std::strcmp(event->eventName, kQueuesEvent) != 0) return;
        const BindingFlatValue& payload = event->payload;
        if (payload.kind != kFlatStructure) return;
        std::string_view uri;
        std::string_view type;
        const BindingFlatMember* data = nullptr;
        for (uint32_t i = 0; i < payload.payload.structure.count; ++i) {
            const BindingFlatMember& member = payload.payload.structure.members[i];
            const std::string_view name = member.name != nullptr ? member.name : "";
            if (name == "uri") uri = Text(Vorn::LoadMemberValue(member));
            else if (name == "eventType") type = Text(Vorn::LoadMemberValue(member));
            else if (name == "data") data = &member;
        }
        if (uri != kQueuesPath || (type != "Create" && type != "Update") || data == nullptr) return;
        const BindingFlatValue list = Vorn::LoadMemberValue(*data);
        if (list.kind != kFlatCollection) return;
        std::vector<QueueRecord> queues(list.payload.collection.count);
        for (uint32_t i = 0; i < list.payload.collection.count; ++i) {
            if (!ReadQueue(list.payload.collection.items[i], queues[i])) return;
        }
        handler(queues);
    }
};

void EventHandwritten(benchmark::State& state, int count) {
    QueueEvent event(count);
    HandwrittenReceiver receiver;
    receiver.handler = [&receiver](const std::vector<QueueRecord>& queues) { receiver.received += queues.size(); };
    HeapBlocksPerIteration blocks(state);
    for (auto _ : state) receiver.Deliver(&event.record);
    if (receiver.received != state.iterations() * static_cast<std::size_t>(count)) {
        state.SkipWithError("the handler did not receive every queue");
    }
}

// --- Exposed functions ----------------------------------------------------------

const ApiFunctionEntry& EchoFunction(const char* name) {
    static const PluginHostRecord record = StartPlugin(&load_vorn_echo);
    for (uint32_t i = 0; i < record.apiTable->functionCount; ++i) {
        if (std::strcmp(record.apiTable->functions[i].name, name) == 0) return record.apiTable->functions[i];
    }
    throw std::runtime_error(std::string("vorn-echo has no function ") + name);
}

constexpr const char* kEchoPath = "/echo/v1/items/item%2042?count=17&verbose=true";
const HostHeader kEchoHeaders[] = {{"Accept", "application/json"}, {"trace", "trace-5b1f"}};

HostRequest EchoRequest(const void* context) {
    HostRequest request{};
    request.method = kHostMethodGet;
    request.path = kEchoPath;
    request.functionContext = context;
    request.headers = kEchoHeaders;
    request.headerCount = 2;
    return request;
}

// A 1 KiB JSON document of mixed members, as a host posts it.
const std::string& SubmitBody() {
    static const std::string body = [] {
        std::string text = "{\"queues\":[";
        for (int i = 0; text.size() < 960; ++i) {
            if (i != 0) text += ',';
            text += "{\"id\":" + std::to_string(400 + i) + ",\"name\":\"Queue " + std::to_string(i) +
                    "\",\"enabled\":" + (i % 2 ? "true" : "false") + ",\"weight\":" + std::to_string(i) + ".5}";
        }
        text += "],\"source\":\"bench\"}";
        return text;
    }();
    return body;
}

HostRequest SubmitRequest(const void* context) {
    HostRequest request{};
    request.method = kHostMethodPost;
    request.path = "/echo/v1/submit";
    request.functionContext = context;
    request.contentType = "application/json";
    request.body = reinterpret_cast<const uint8_t*>(SubmitBody().data());
    request.bodyLength = static_cast<uint32_t>(SubmitBody().size());
    return request;
}

// The response is well formed: a structure body, no failure.
bool Served(const HostResponse& response) { return response.error == nullptr && response.body.kind == kFlatStructure; }

void CallVorn(benchmark::State& state, const char* name, HostRequest (*make)(const void*)) {
    const ApiFunctionEntry& function = EchoFunction(name);
    const HostRequest request = make(function.context);
    bool served = true;
    HeapBlocksPerIteration blocks(state);
    for (auto _ : state) {
        HostResponse response{};
        function.call(&response, &request);
        served = served && Served(response);
        response.release(&response);
    }
    if (!served) state.SkipWithError("the call failed");
}

// Hand-written twins of the two functions: the route and method checked, the
// arguments read from the records, the same result built as flat records.

// Blocks of the library's own heap, as the runtime's responses use, so that
// ReleaseFlatValue frees either alike.
void* Zeroed(std::size_t bytes) {
    void* block = Vorn::Allocate(bytes);
    if (block == nullptr) throw std::bad_alloc();
    std::memset(block, 0, bytes);
    return block;
}

char* Copied(const char* text) {
    const std::size_t bytes = std::strlen(text) + 1;
    return static_cast<char*>(std::memcpy(Zeroed(bytes), text, bytes));
}

void VORN_HOST_CALL ReleaseHandwritten(HostResponse* response) {
    BindingFlatValue body = response->body;
    Vorn::ReleaseFlatValue(&body);
    Vorn::Free(response->error);
    std::memset(static_cast<void*>(response), 0, sizeof(*response));
}

void Fail(HostResponse* response, const char* message, uint32_t status) {
    response->error = Copied(message);
    response->failed = 1;
    response->status = status;
}

BindingFlatMember* NewMembers(uint32_t count) {
    return static_cast<BindingFlatMember*>(Zeroed(count * sizeof(BindingFlatMember)));
}

void SetMember(BindingFlatMember& member, const char* name, const BindingFlatValue& value) {
    member.name = name;
    Vorn::StoreMemberValue(member, value);
}

// Hands what the value owns to a member: the FlatSet functions release what
// their value held, which the member holds now.
BindingFlatValue Take(BindingFlatValue& value) {
    const BindingFlatValue taken = value;
    value = BindingFlatValue{};
    return taken;
}

std::string PercentDecoded(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            unsigned value = 0;
            const auto [end, error] = std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16);
            if (error == std::errc() && end == text.data() + i + 3) {
                decoded += static_cast<char>(value);
                i += 2;
                continue;
            }
        }
        decoded += text[i] == '+' ? ' ' : text[i];
    }
    return decoded;
}

void VORN_HOST_CALL EchoHandwritten(HostResponse* response, const HostRequest* request) {
    std::memset(static_cast<void*>(response), 0, sizeof(*response));
    response->release = &ReleaseHandwritten;
    constexpr std::string_view kRoute = "/echo/v1/items/";
    std::string_view path = request->path != nullptr ? request->path : "";
    std::string_view query;
    if (const std::size_t mark = path.find('?'); mark != std::string_view::npos) {
        query = path.substr(mark + 1);
        path = path.substr(0, mark);
    }
    if (request->method != kHostMethodGet || path.substr(0, kRoute.size()) != kRoute ||
        path.find('/', kRoute.size()) != std::string_view::npos || path.size() == kRoute.size()) {
        return Fail(response, "Invalid function", 404);
    }
    const std::string id = PercentDecoded(path.substr(kRoute.size()));
    int32_t count = 0;
    bool verbose = false;
    std::string filter;
    bool hasFilter = false;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const std::size_t eq = pair.find('=');
        const std::string key = PercentDecoded(pair.substr(0, eq));
        const std::string value = eq == std::string_view::npos ? std::string() : PercentDecoded(pair.substr(eq + 1));
        if (key == "count") {
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), count);
            if (error != std::errc() || end != value.data() + value.size()) return Fail(response, "bad count", 400);
        } else if (key == "verbose") {
            if (value != "true" && value != "false") return Fail(response, "bad verbose", 400);
            verbose = value == "true";
        } else if (key == "filter") {
            filter = value;
            hasFilter = true;
        } else {
            return Fail(response, "Unknown argument", 400);
        }
    }
    std::string trace;
    for (uint32_t i = 0; i < request->headerCount; ++i) {
        if (strcasecmp(request->headers[i].name, "trace") == 0) trace = request->headers[i].value;
    }
    BindingFlatMember* members = NewMembers(5);
    BindingFlatValue value{};
    Vorn::FlatSetSigned(&value, count);
    SetMember(members[0], "count", Take(value));
    if (hasFilter) Vorn::FlatSetText(&value, filter.c_str());
    SetMember(members[1], "filter", Take(value));
    Vorn::FlatSetText(&value, id.c_str());
    SetMember(members[2], "id", Take(value));
    Vorn::FlatSetText(&value, trace.c_str());
    SetMember(members[3], "trace", Take(value));
    Vorn::FlatSetBool(&value, verbose);
    SetMember(members[4], "verbose", Take(value));
    Vorn::FlatSetStructure(&response->body, members, 5);
}

// A JSON value as flat records, member names copied.
void FlatFromJson(const rapidjson::Value& json, BindingFlatValue* out) {
    *out = BindingFlatValue{};
    if (json.IsBool()) return Vorn::FlatSetBool(out, json.GetBool());
    if (json.IsInt64()) return Vorn::FlatSetSigned(out, json.GetInt64());
    if (json.IsUint64()) return Vorn::FlatSetUnsigned(out, json.GetUint64());
    if (json.IsNumber()) return Vorn::FlatSetFloat(out, json.GetDouble());
    if (json.IsString()) return Vorn::FlatSetText(out, json.GetString());
    if (json.IsArray()) {
        const uint32_t count = json.Size();
        auto* items = static_cast<BindingFlatValue*>(Zeroed((count == 0 ? 1 : count) * sizeof(BindingFlatValue)));
        for (uint32_t i = 0; i < count; ++i) FlatFromJson(json[i], &items[i]);
        return Vorn::FlatSetCollection(out, items, count);
    }
    if (json.IsObject()) {
        const uint32_t count = json.MemberCount();
        BindingFlatMember* members = NewMembers(count == 0 ? 1 : count);
        uint32_t i = 0;
        for (const auto& member : json.GetObject()) {
            BindingFlatValue value;
            FlatFromJson(member.value, &value);
            members[i].ownsName = 1;
            SetMember(members[i++], Copied(member.name.GetString()), value);
        }
        return Vorn::FlatSetStructure(out, members, count);
    }
}

void VORN_HOST_CALL SubmitHandwritten(HostResponse* response, const HostRequest* request) {
    std::memset(static_cast<void*>(response), 0, sizeof(*response));
    response->release = &ReleaseHandwritten;
    if (request->method != kHostMethodPost || std::strcmp(request->path, "/echo/v1/submit") != 0) {
        return Fail(response, "Invalid function", 404);
    }
    if (request->contentType == nullptr || std::strncmp(request->contentType, "application/json", 16) != 0) {
        return Fail(response, "Unsupported body content type", 400);
    }
    rapidjson::Document document;
    document.Parse(reinterpret_cast<const char*>(request->body), request->bodyLength);
    if (document.HasParseError()) return Fail(response, "Couldn't deserialize JSON value", 400);
    BindingFlatMember* members = NewMembers(2);
    BindingFlatValue value;
    FlatFromJson(document, &value);
    SetMember(members[0], "payload", Take(value));
    Vorn::FlatSetText(&value, "");
    SetMember(members[1], "tag", Take(value));
    Vorn::FlatSetStructure(&response->body, members, 2);
}

void CallHandwritten(benchmark::State& state, ApiCallEntry call, HostRequest (*make)(const void*)) {
    const HostRequest request = make(nullptr);
    bool served = true;
    HeapBlocksPerIteration blocks(state);
    for (auto _ : state) {
        HostResponse response{};
        call(&response, &request);
        served = served && Served(response);
        response.release(&response);
    }
    if (!served) state.SkipWithError("the call failed");
}

// --- Typed requests -------------------------------------------------------------

// A queue record as the host's flat structure of texts it borrows from the
// record (which must outlive it), enums by name.
void QueueAsFlat(const QueueRecord& q, BindingFlatMember (&members)[9], BindingFlatValue& out) {
    auto text = [](const char* s) {
        BindingFlatValue t{};
        t.kind = kFlatBorrowedString;
        t.payload.string.text = s;
        t.payload.string.length = static_cast<uint32_t>(std::strlen(s));
        return t;
    };
    BindingFlatValue v{};
    Vorn::FlatSetSigned(&v, q.id);
    SetMember(members[0], "id", v);
    Vorn::FlatSetSigned(&v, q.mapId);
    SetMember(members[1], "mapId", v);
    SetMember(members[2], "name", text(q.name.c_str()));
    SetMember(members[3], "gameMode", text(q.gameMode.c_str()));
    SetMember(members[4], "gameMutator", text(q.gameMutator.c_str()));
    SetMember(members[5], "category", text(kCategoryNames[static_cast<int>(q.category)]));
    Vorn::FlatSetUnsigned(&v, q.lastToggledOffTime);
    SetMember(members[6], "lastToggledOffTime", v);
    Vorn::FlatSetUnsigned(&v, q.lastToggledOnTime);
    SetMember(members[7], "lastToggledOnTime", v);
    SetMember(members[8], "queueAvailability", text(kAvailabilityNames[static_cast<int>(q.queueAvailability)]));
    out = BindingFlatValue{};
    Vorn::FlatSetStructure(&out, members, 9);
}

// The host's answer: a stored queue of the PvP category.
struct StoredAnswer {
    StoredAnswer() {
        queue.category = QueueCategory::PvP;
        queue.queueAvailability = QueueAvailability::Available;
        QueueAsFlat(queue, members, value);
    }
    QueueRecord queue = MakeQueues(3).back();
    BindingFlatMember members[9]{};
    BindingFlatValue value{};
};

void RequestVorn(benchmark::State& state) {
    static StoredAnswer answer;
    PathsPlugin& plugin = Paths();
    Host().answer = answer.value;
    const QueueRecord sent = MakeQueues(2).back();
    bool ok = true;
    HeapBlocksPerIteration blocks(state);
    for (auto _ : state) {
        auto result = plugin.SendRequest<QueueRecord>(Vorn::RequestMethod::Post, kEchoQueuePath, sent);
        ok = ok && result.Ok() && result.Value().category == QueueCategory::PvP;
        benchmark::DoNotOptimize(&result);
    }
    if (!ok) state.SkipWithError("the request failed");
}

// The parameters as flat records straight from the record, the same host
// call, the answer read straight into a record.
bool SendHandwritten(const QueueRecord& sent, QueueRecord& received, const std::string& path) {
    BindingFlatMember members[9]{};
    HostNamedValue parameter{};
    QueueAsFlat(sent, members, parameter.value);

    HostRequest request{};
    request.method = kHostMethodPost;
    request.path = path.c_str();
    request.values = &parameter;
    request.valueCount = 1;
    request.context = Host().start.context;
    HostResponse response{};
    Host().api.sendRequest(&Host().api, &response, &request);
    bool ok = response.error == nullptr && ReadQueue(response.body, received);
    if (response.release != nullptr) response.release(&response);
    return ok;
}

void RequestHandwritten(benchmark::State& state) {
    static StoredAnswer answer;
    Paths();  // the same host, set up
    Host().answer = answer.value;
    const QueueRecord sent = MakeQueues(2).back();
    const std::string path = kEchoQueuePath;
    bool ok = true;
    HeapBlocksPerIteration blocks(state);
    for (auto _ : state) {
        QueueRecord received;
        ok = ok && SendHandwritten(sent, received, path) && received.category == QueueCategory::PvP;
        benchmark::DoNotOptimize(&received);
    }
    if (!ok) state.SkipWithError("the request failed");
}

void Register() {
    for (int count : {1, 50, 500}) {
        const std::string dataset = "queues" + std::to_string(count);
        benchmark::RegisterBenchmark(("RuntimeEvent/" + dataset + "/vorn").c_str(),
                                     [count](benchmark::State& s) { EventVorn(s, count); })
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("RuntimeEvent/" + dataset + "/handwritten").c_str(),
                                     [count](benchmark::State& s) { EventHandwritten(s, count); })
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark("RuntimeCall/echo/vorn",
                                 [](benchmark::State& s) { CallVorn(s, "Echo", &EchoRequest); })
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("RuntimeCall/echo/handwritten",
                                 [](benchmark::State& s) { CallHandwritten(s, &EchoHandwritten, &EchoRequest); })
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("RuntimeCall/submit1KiB/vorn",
                                 [](benchmark::State& s) { CallVorn(s, "Submit", &SubmitRequest); })
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("RuntimeCall/submit1KiB/handwritten",
                                 [](benchmark::State& s) { CallHandwritten(s, &SubmitHandwritten, &SubmitRequest); })
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("RuntimeRequest/queue/vorn", RequestVorn)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("RuntimeRequest/queue/handwritten", RequestHandwritten)->Unit(benchmark::kMicrosecond);
}

const int kRegistered = (Register(), 0);

}  // namespace
}  // namespace VornBench

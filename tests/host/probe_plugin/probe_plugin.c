/* A plug-in written straight against the boundary records, in plain C and
 * without the runtime, for the simulated host's own tests. Its start calls
 * every kind of host function once; it reports what came back across the
 * boundary as log lines through the host's log entry, which the tests read.
 *
 *   start:  logs "start context=<word> plugin=<ok|wrong>", subscribes
 *           OnJsonApiEvent_probe_v1_thing (user word 0x77), schedules the
 *           tasks probe.late (user 1, 0.5 s), probe.early (2, 0.25 s) and
 *           probe.tie (3, 0.5 s), calls entries 1 and 2, GETs
 *           /probe/v1/thing, PATCHes it with {"b":{"y":2},"c":"new"}, reads
 *           the streamed GET of /probe/v1/stream in 16-byte reads (waiting
 *           and yielding between them) and logs "started".
 *   tasks:  log "task <user>"; task 1 schedules probe.follow-up (user 4,
 *           0.1 s).
 *   events: log "event <name> user=<word> <payload>"; a float payload
 *           schedules probe.delay (user 5) with that delay; a string payload
 *           is a command: "unsubscribe", "subscribe again" (user word 0x78),
 *           "get without release", "release twice", "patch with a bad kind"
 *           (a parameter of flat kind 11).
 *
 * Values are logged as JSON-like text: unsigned numbers carry a "u", blobs
 * show their length, so the kind that crossed can be told. */
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "plugin/host_records.h"

#if defined(_WIN32)
#define PROBE_EXPORT __declspec(dllexport)
#else
#define PROBE_EXPORT __attribute__((visibility("default")))
#endif

enum { kProbeBuffer = 16, kProbeMaxReads = 1000, kProbeMaxDepth = 16 };
static const char kProbeEvent[] = "OnJsonApiEvent_probe_v1_thing";
static const uintptr_t kProbeUser = 0x77;

static const HostApi* g_api;
static uintptr_t g_context;
static int g_plugin; /* the plug-in object: only its address matters */

typedef struct Text {
    char data[2048];
    size_t length;
} Text;

static void Append(Text* text, const char* format, ...) {
    size_t room = sizeof(text->data) - text->length;
    va_list arguments;
    va_start(arguments, format);
    int written = vsnprintf(text->data + text->length, room, format, arguments);
    va_end(arguments);
    if (written > 0) text->length += (size_t)written < room ? (size_t)written : room - 1;
}

static void Log(const char* format, ...) {
    char line[2048];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(line, sizeof(line), format, arguments);
    va_end(arguments);
    if (g_api != NULL) g_api->log(g_api, 0, line);
}

static void AppendFlat(Text* text, const BindingFlatValue* value, int depth) {
    uint32_t i;
    if (depth > kProbeMaxDepth) {
        Append(text, "...");
        return;
    }
    switch (value->kind) {
        case kFlatEmpty: Append(text, "null"); break;
        case kFlatBool: Append(text, value->payload.boolean ? "true" : "false"); break;
        case kFlatSigned: Append(text, "%lld", (long long)value->payload.i); break;
        case kFlatUnsigned: Append(text, "%lluu", (unsigned long long)value->payload.u); break;
        case kFlatFloat: Append(text, "%g", value->payload.d); break;
        case kFlatBorrowedString:
        case kFlatOwnedString:
            Append(text, "\"%s\"", value->payload.string.text != NULL ? value->payload.string.text : "");
            break;
        case kFlatBorrowedBlob:
        case kFlatOwnedBlob: Append(text, "<%u bytes>", (unsigned)value->payload.blob.length); break;
        case kFlatCollection:
            Append(text, "[");
            for (i = 0; i < value->payload.collection.count; ++i) {
                if (i != 0) Append(text, ",");
                AppendFlat(text, &value->payload.collection.items[i], depth + 1);
            }
            Append(text, "]");
            break;
        case kFlatStructure:
            Append(text, "{");
            for (i = 0; i < value->payload.structure.count; ++i) {
                /* The member's value is unaligned: copied out, never pointed at. */
                const BindingFlatValue member = value->payload.structure.members[i].value;
                if (i != 0) Append(text, ",");
                Append(text, "\"%s\":", value->payload.structure.members[i].name);
                AppendFlat(text, &member, depth + 1);
            }
            Append(text, "}");
            break;
        default: Append(text, "<kind %d>", (int)value->kind); break;
    }
}

static void Send(HostResponse* response, uint32_t method, const char* path, const HostNamedValue* values,
                 uint32_t count) {
    HostRequest request;
    memset(&request, 0, sizeof(request));
    memset(response, 0, sizeof(*response));
    request.method = method;
    request.path = path;
    request.values = values;
    request.valueCount = count;
    request.context = g_context;
    g_api->sendRequest(g_api, response, &request);
}

/* Logs the error, or the inline body; false when there was an error. */
static int LogOutcome(const char* method, const char* path, const HostResponse* response) {
    Text text = {{0}, 0};
    Append(&text, "%s %s: ", method, path);
    if (response->error != NULL) {
        Append(&text, "error %u %s", (unsigned)response->status, response->error);
    } else {
        const BindingFlatValue body = response->body;
        AppendFlat(&text, &body, 0);
    }
    Log("%s", text.data);
    return response->error == NULL;
}

static void Get(const char* path) {
    HostResponse response;
    Send(&response, kHostMethodGet, path, NULL, 0);
    LogOutcome("GET", path, &response);
    if (response.release != NULL) response.release(&response);
}

/* One parameter entry with a null name holding the whole structure, as the
 * runtime sends them; every text is borrowed from this side. */
static void Patch(const char* path) {
    BindingFlatMember inner[1];
    BindingFlatMember outer[2];
    BindingFlatValue value;
    HostNamedValue parameter;
    HostResponse response;
    memset(inner, 0, sizeof(inner));
    memset(outer, 0, sizeof(outer));
    memset(&value, 0, sizeof(value));
    memset(&parameter, 0, sizeof(parameter));

    value.kind = kFlatSigned;
    value.payload.i = 2;
    inner[0].name = "y";
    inner[0].value = value;

    memset(&value, 0, sizeof(value));
    value.kind = kFlatStructure;
    value.payload.structure.members = inner;
    value.payload.structure.count = 1;
    outer[0].name = "b";
    outer[0].value = value;

    memset(&value, 0, sizeof(value));
    value.kind = kFlatBorrowedString;
    value.payload.string.text = "new";
    outer[1].name = "c";
    outer[1].value = value;

    parameter.value.kind = kFlatStructure;
    parameter.value.payload.structure.members = outer;
    parameter.value.payload.structure.count = 2;
    Send(&response, kHostMethodPatch, path, &parameter, 1);
    LogOutcome("PATCH", path, &response);
    if (response.release != NULL) response.release(&response);
}

static void ReadStreamed(const char* path) {
    HostResponse response;
    Text body = {{0}, 0};
    bool more = true;
    unsigned reads = 0;
    Send(&response, kHostMethodGet, path, NULL, 0);
    if (response.streamRead == NULL) {
        LogOutcome("GET", path, &response);
        if (response.release != NULL) response.release(&response);
        return;
    }
    Log("GET %s: streamed, size %u", path, (unsigned)response.streamSize);
    while (more) {
        char buffer[kProbeBuffer];
        uint32_t length = sizeof(buffer);
        if (++reads > kProbeMaxReads) {
            Log("read %u: too many reads", reads);
            break;
        }
        if (!response.streamRead(response.stream, buffer, &length, &more)) {
            Log("read %u failed", reads);
            break;
        }
        /* A length beyond the buffer would run past it: stop reading. */
        if (length > sizeof(buffer)) {
            Log("read %u: %u bytes reported for a buffer of %u", reads, (unsigned)length, (unsigned)sizeof(buffer));
            break;
        }
        Log("read %u: %u bytes%s", reads, (unsigned)length, more ? ", more" : "");
        Append(&body, "%.*s", (int)length, buffer);
        if (more) {
            g_api->beginWait(g_api, "probe: between reads", 0);
            g_api->yield(g_api);
            g_api->endWait(g_api);
        }
    }
    Log("body %s", body.data);
    if (response.streamRelease != NULL) response.streamRelease(response.stream);
    if (response.release != NULL) response.release(&response);
}

/* Tasks and events must not reach a stopped plug-in: a probe called then
 * ends the test program loudly instead of logging into nowhere. */
static void RequireStarted(const char* what) {
    if (g_api != NULL) return;
    fprintf(stderr, "host probe: %s after stop\n", what);
    abort();
}

static void VORN_HOST_CALL ProbeTask(uintptr_t user) {
    RequireStarted("task");
    Log("task %lu", (unsigned long)user);
    if (user == 1) g_api->schedule(g_api, "probe.follow-up", ProbeTask, 4, 0.1, 0);
}

static void VORN_HOST_CALL ProbeEvent(const HostEventRecord* event);

/* Commands carried by string payloads, some of them faults a plug-in may
 * commit. */
static void RunCommand(const char* command) {
    HostResponse response;
    if (strcmp(command, "unsubscribe") == 0) {
        g_api->unsubscribe(g_api, kProbeEvent, g_context);
    } else if (strcmp(command, "subscribe again") == 0) {
        g_api->subscribe(g_api, kProbeEvent, g_context, ProbeEvent, kProbeUser + 1, 0);
    } else if (strcmp(command, "get without release") == 0) {
        Send(&response, kHostMethodGet, "/probe/v1/thing", NULL, 0);
    } else if (strcmp(command, "release twice") == 0) {
        Send(&response, kHostMethodGet, "/probe/v1/thing", NULL, 0);
        response.release(&response);
        response.release(&response);
    } else if (strcmp(command, "patch with a bad kind") == 0) {
        HostNamedValue parameter;
        memset(&parameter, 0, sizeof(parameter));
        parameter.name = "bad";
        parameter.value.kind = 11;
        Send(&response, kHostMethodPatch, "/probe/v1/thing", &parameter, 1);
        LogOutcome("PATCH", "/probe/v1/thing", &response);
        response.release(&response);
    }
}

static void VORN_HOST_CALL ProbeEvent(const HostEventRecord* event) {
    Text text = {{0}, 0};
    const BindingFlatValue payload = event->payload;
    RequireStarted("event");
    Append(&text, "event %s user=0x%lx ", event->eventName != NULL ? event->eventName : "(null)",
           (unsigned long)event->user);
    AppendFlat(&text, &payload, 0);
    Log("%s", text.data);
    if (payload.kind == kFlatFloat) {
        g_api->schedule(g_api, "probe.delay", ProbeTask, 5, payload.payload.d, 0);
    } else if ((payload.kind == kFlatBorrowedString || payload.kind == kFlatOwnedString) &&
               payload.payload.string.text != NULL) {
        RunCommand(payload.payload.string.text);
    }
}

static bool VORN_HOST_CALL ProbeStart(void* plugin, const PluginStartRecord* host) {
    g_api = host->api;
    g_context = host->context;
    Log("start context=0x%lx plugin=%s", (unsigned long)host->context, plugin == &g_plugin ? "ok" : "wrong");
    g_api->subscribe(g_api, kProbeEvent, g_context, ProbeEvent, kProbeUser, 0);
    g_api->schedule(g_api, "probe.late", ProbeTask, 1, 0.5, 0);
    g_api->schedule(g_api, "probe.early", ProbeTask, 2, 0.25, 0);
    g_api->schedule(g_api, "probe.tie", ProbeTask, 3, 0.5, 0);
    g_api->call1(g_api, 1, 2);
    g_api->call2(g_api, 3);
    Get("/probe/v1/thing");
    Patch("/probe/v1/thing");
    ReadStreamed("/probe/v1/stream");
    Log("started");
    return true;
}

static void VORN_HOST_CALL ProbeStop(void* plugin) {
    Log("stop plugin=%s", plugin == &g_plugin ? "ok" : "wrong");
    g_api = NULL;
}

static void VORN_HOST_CALL ProbeMemoryStatistics(void* ignored, PluginMemoryStatistics* out) {
    int i;
    (void)ignored;
    memset(out, 0, sizeof(*out));
    for (i = 0; i < 6; ++i) out->counters[i] = (uint64_t)(i + 1) * 100;
}

static const PluginCallbacks kCallbacks = {ProbeStart, ProbeStop, ProbeMemoryStatistics};
static const ApiTable kApiTable = {NULL, 0, NULL, 0, NULL, 0};

/* The only export. It speaks host version 18 only, and refuses any other. */
PROBE_EXPORT bool VORN_HOST_CALL load_host_probe(PluginHostRecord* record) {
    if (record->major != 18) return false;
    record->minor = 0;
    record->patch = 0;
    record->callbacks = &kCallbacks;
    record->plugin = &g_plugin;
    record->shortName = "host-probe";
    record->apiTable = &kApiTable;
    return true;
}

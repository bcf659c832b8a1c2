/* The records by which the host loads, starts, serves and stops a plug-in.
 *
 * Order of calls: the export (once) -> start (once) -> any number of host
 * calls from the plug-in and of callbacks into it (events, delayed tasks,
 * memory statistics) -> stop (once). Every call comes from a host thread and
 * the host makes them one at a time; the plug-in creates no thread.
 *
 * Texts passed in either direction are NUL-terminated and valid for the
 * call only: neither side keeps them past it. */
#ifndef VORN_PLUGIN_HOST_RECORDS_H
#define VORN_PLUGIN_HOST_RECORDS_H

#include <stdint.h>

#include "binding/flat_records.h"
#include "dispatch/api_table_records.h"
#include "dispatch/host_call_records.h"
#include "support/host_boundary.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct HostApi HostApi;

#pragma pack(push, 4)

/* What the host hands an event function: the event name, the payload (owned
 * by the host, valid for the call) and the user word given at subscription. */
typedef struct HostEventRecord {
    const char* eventName;
    BindingFlatValue payload;
    uint32_t reserved;
    uintptr_t user;
} HostEventRecord;

/* Event functions: resource events (kind 0) and service-proxy events (1). */
typedef void(VORN_HOST_CALL* HostEventFunction)(const HostEventRecord* event);
/* Delayed tasks: called once with the user word given when scheduled. */
typedef void(VORN_HOST_CALL* HostTaskFunction)(uintptr_t user);

/* The host's functions; each takes the table itself first. The plug-in calls
 * them on the thread the host called it on. */
struct HostApi {
    /* 0: sends a request and fills the response before returning. */
    void(VORN_HOST_CALL* sendRequest)(const HostApi* api, HostResponse* response, const HostRequest* request);
    /* 1, 2: passed through; no caller in the runtime. */
    void(VORN_HOST_CALL* call1)(const HostApi* api, uintptr_t a, uintptr_t b);
    void(VORN_HOST_CALL* call2)(const HostApi* api, uintptr_t a);
    /* 3: subscribes the event name; kind 0 resource events, 1 service proxy. */
    void(VORN_HOST_CALL* subscribe)(const HostApi* api, const char* eventName, uintptr_t context,
                                    HostEventFunction function, uintptr_t user, uint32_t kind);
    /* 4 */
    void(VORN_HOST_CALL* unsubscribe)(const HostApi* api, const char* eventName, uintptr_t context);
    /* 5: calls function(user) once, no earlier than the delay; the last
     * argument is 0. */
    void(VORN_HOST_CALL* schedule)(const HostApi* api, const char* taskName, HostTaskFunction function,
                                   uintptr_t user, double delaySeconds, uint32_t zero);
    /* 6: lets the host run other work; it may call into the plug-in. */
    void(VORN_HOST_CALL* yield)(const HostApi* api);
    /* 7, 8: a wait with a label, around a yield. */
    void(VORN_HOST_CALL* beginWait)(const HostApi* api, const char* label, uint32_t zero);
    void(VORN_HOST_CALL* endWait)(const HostApi* api);
    /* 9: one log line at level 0 OKAY, 1 WARN, 2 ERROR or 3 ALWAYS. */
    void(VORN_HOST_CALL* log)(const HostApi* api, int32_t level, const char* message);
};

/* What the start callback receives; owned by the host and valid until stop. */
typedef struct PluginStartRecord {
    const HostApi* api;
    uintptr_t context; /* handed back in every request and subscription */
} PluginStartRecord;

/* Six 64-bit counters (peak bytes in use, live allocations at the peak, bytes
 * allocated, allocations, bytes freed, frees), then two zero words. */
typedef struct PluginMemoryStatistics {
    uint64_t counters[6];
    uint32_t reserved[2];
} PluginMemoryStatistics;

typedef struct PluginCallbacks {
    /* Starts the plug-in; returns its start operation's result. */
    bool(VORN_HOST_CALL* start)(void* plugin, const PluginStartRecord* host);
    /* Shuts the plug-in down and destroys it; the object is gone after. */
    void(VORN_HOST_CALL* stop)(void* plugin);
    /* Fills the statistics of the library's heap use; the first argument is
     * not read. */
    void(VORN_HOST_CALL* memoryStatistics)(void* ignored, PluginMemoryStatistics* out);
} PluginCallbacks;

/* In: the host's plug-in API version. Out: the plug-in's version, its
 * callbacks, the plug-in object (opaque to the host), its short name and its
 * API table, all valid until stop. */
typedef struct PluginHostRecord {
    uint32_t major;
    uint32_t minor;
    uint32_t patch;
    const PluginCallbacks* callbacks;
    void* plugin;
    const char* shortName;
    const ApiTable* apiTable;
} PluginHostRecord;

#pragma pack(pop)

/* The one export of a plug-in library is named load_<short name with "-" as
 * "_">, of this type. It returns whether it filled the record; on an
 * incompatible host version it does not return at all (the process ends). */
typedef bool(VORN_HOST_CALL* PluginLoadFunction)(PluginHostRecord* record);

VORN_HOST_RECORD_SIZE(HostEventRecord, 24);
VORN_HOST_RECORD_SIZE(HostApi, 40);
VORN_HOST_RECORD_SIZE(PluginStartRecord, 8);
VORN_HOST_RECORD_SIZE(PluginMemoryStatistics, 56);
VORN_HOST_RECORD_SIZE(PluginCallbacks, 12);
VORN_HOST_RECORD_SIZE(PluginHostRecord, 28);
VORN_HOST_RECORD_OFFSET(HostEventRecord, eventName, 0);
VORN_HOST_RECORD_OFFSET(HostEventRecord, payload, 4);
VORN_HOST_RECORD_OFFSET(HostEventRecord, reserved, 16);
VORN_HOST_RECORD_OFFSET(HostEventRecord, user, 20);
VORN_HOST_RECORD_OFFSET(HostApi, sendRequest, 0);
VORN_HOST_RECORD_OFFSET(HostApi, call1, 4);
VORN_HOST_RECORD_OFFSET(HostApi, call2, 8);
VORN_HOST_RECORD_OFFSET(HostApi, subscribe, 12);
VORN_HOST_RECORD_OFFSET(HostApi, unsubscribe, 16);
VORN_HOST_RECORD_OFFSET(HostApi, schedule, 20);
VORN_HOST_RECORD_OFFSET(HostApi, yield, 24);
VORN_HOST_RECORD_OFFSET(HostApi, beginWait, 28);
VORN_HOST_RECORD_OFFSET(HostApi, endWait, 32);
VORN_HOST_RECORD_OFFSET(HostApi, log, 36);
VORN_HOST_RECORD_OFFSET(PluginStartRecord, api, 0);
VORN_HOST_RECORD_OFFSET(PluginStartRecord, context, 4);
VORN_HOST_RECORD_OFFSET(PluginMemoryStatistics, counters, 0);
VORN_HOST_RECORD_OFFSET(PluginMemoryStatistics, reserved, 48);
VORN_HOST_RECORD_OFFSET(PluginCallbacks, start, 0);
VORN_HOST_RECORD_OFFSET(PluginCallbacks, stop, 4);
VORN_HOST_RECORD_OFFSET(PluginCallbacks, memoryStatistics, 8);
VORN_HOST_RECORD_OFFSET(PluginHostRecord, major, 0);
VORN_HOST_RECORD_OFFSET(PluginHostRecord, minor, 4);
VORN_HOST_RECORD_OFFSET(PluginHostRecord, patch, 8);
VORN_HOST_RECORD_OFFSET(PluginHostRecord, callbacks, 12);
VORN_HOST_RECORD_OFFSET(PluginHostRecord, plugin, 16);
VORN_HOST_RECORD_OFFSET(PluginHostRecord, shortName, 20);
VORN_HOST_RECORD_OFFSET(PluginHostRecord, apiTable, 24);

#ifdef __cplusplus
}
#endif

#endif

/* The API description table the plug-in hands the host at load: its exposed
 * functions, registered types and events, as plain packed records the host
 * reads without knowing the plug-in's classes.
 *
 * Every record of an array starts with a pointer to the next record of the
 * same array (null in the last), so the host may walk an array by index or
 * as a list. Texts are NUL-terminated. An empty array is a null pointer with
 * count 0. The plug-in owns every record and text and keeps them unchanged
 * from load until stop. */
#ifndef VORN_DISPATCH_API_TABLE_RECORDS_H
#define VORN_DISPATCH_API_TABLE_RECORDS_H

#include <stdint.h>

#include "dispatch/host_call_records.h"
#include "support/host_boundary.h"

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 1)

typedef struct ApiMemberEntry {
    const struct ApiMemberEntry* next;
    const char* name;
    const char* description;
    uint32_t offset;             /* of the member in the native structure */
    uint32_t type;               /* BindingType code, 1-19, else 0 */
    uint32_t elementType;
    const char* describedType;   /* codes 15, 16, 17, 19; else "" */
    uint8_t optional;
} ApiMemberEntry;

typedef struct ApiEnumeratorEntry {
    const struct ApiEnumeratorEntry* next;
    const char* name;
    const char* description;
    int32_t value;
} ApiEnumeratorEntry;

typedef struct ApiTypeEntry {
    const struct ApiTypeEntry* next;
    const char* name;
    const char* nameSpace;
    uint32_t size;               /* native size in bytes */
    const char* description;
    const char* const* tags;
    uint32_t tagCount;
    const ApiMemberEntry* members;          /* when the type has members */
    const ApiEnumeratorEntry* enumerators;  /* when it has none */
    uint32_t count;                         /* of members, else of enumerators */
} ApiTypeEntry;

typedef struct ApiEventEntry {
    const struct ApiEventEntry* next;
    const char* name;
    const char* nameSpace;
    const char* payloadType;
    const char* description;
    const char* const* tags;
    uint32_t tagCount;
} ApiEventEntry;

typedef struct ApiArgumentEntry {
    const struct ApiArgumentEntry* next;
    const char* name;
    const char* description;
    uint32_t type;
    uint32_t elementType;
    const char* describedType;
    uint8_t optional;
} ApiArgumentEntry;

typedef struct ApiArgumentLocation {
    const struct ApiArgumentLocation* next;
    uint32_t location;           /* 1 query, 2 path, 4 header, 5 body; else 0 */
} ApiArgumentLocation;

typedef struct ApiTextList {
    const struct ApiTextList* next;
    const char* const* texts;
    uint32_t count;
} ApiTextList;

/* The host calls an exposed function with its response record first. */
typedef void(VORN_HOST_CALL* ApiCallEntry)(HostResponse* response, const HostRequest* request);

typedef struct ApiFunctionEntry {
    const struct ApiFunctionEntry* next;
    uint32_t reserved;
    const void* context;         /* handed back at request offset 16 */
    const char* name;
    const char* nameSpace;
    const ApiArgumentEntry* arguments;
    uint32_t argumentCount;
    uint32_t resultType;
    uint32_t resultElementType;
    const char* resultDescribedType;
    const char* description;
    const char* help;
    uint8_t threadSafe;
    const char* async;           /* an asynchronous function's result type name, else "" */
    const char* const* tags;
    uint32_t tagCount;
    ApiCallEntry call;
    const ApiArgumentLocation* locations;
    const char* pathTemplate;
    uint32_t method;
    uint8_t flags;
    const ApiTextList* textLists;
    uint32_t textListCount;
    const char* customMethod;
} ApiFunctionEntry;

typedef struct ApiTable {
    const ApiFunctionEntry* functions;
    uint32_t functionCount;
    const ApiTypeEntry* types;
    uint32_t typeCount;
    const ApiEventEntry* events;
    uint32_t eventCount;
} ApiTable;

#pragma pack(pop)

VORN_HOST_RECORD_SIZE(ApiMemberEntry, 29);
VORN_HOST_RECORD_SIZE(ApiEnumeratorEntry, 16);
VORN_HOST_RECORD_SIZE(ApiTypeEntry, 40);
VORN_HOST_RECORD_SIZE(ApiEventEntry, 28);
VORN_HOST_RECORD_SIZE(ApiArgumentEntry, 25);
VORN_HOST_RECORD_SIZE(ApiArgumentLocation, 8);
VORN_HOST_RECORD_SIZE(ApiTextList, 12);
VORN_HOST_RECORD_SIZE(ApiFunctionEntry, 90);
VORN_HOST_RECORD_SIZE(ApiTable, 24);
VORN_HOST_RECORD_OFFSET(ApiMemberEntry, next, 0);
VORN_HOST_RECORD_OFFSET(ApiMemberEntry, name, 4);
VORN_HOST_RECORD_OFFSET(ApiMemberEntry, description, 8);
VORN_HOST_RECORD_OFFSET(ApiMemberEntry, offset, 12);
VORN_HOST_RECORD_OFFSET(ApiMemberEntry, type, 16);
VORN_HOST_RECORD_OFFSET(ApiMemberEntry, elementType, 20);
VORN_HOST_RECORD_OFFSET(ApiMemberEntry, describedType, 24);
VORN_HOST_RECORD_OFFSET(ApiMemberEntry, optional, 28);
VORN_HOST_RECORD_OFFSET(ApiEnumeratorEntry, next, 0);
VORN_HOST_RECORD_OFFSET(ApiEnumeratorEntry, name, 4);
VORN_HOST_RECORD_OFFSET(ApiEnumeratorEntry, description, 8);
VORN_HOST_RECORD_OFFSET(ApiEnumeratorEntry, value, 12);
VORN_HOST_RECORD_OFFSET(ApiTypeEntry, next, 0);
VORN_HOST_RECORD_OFFSET(ApiTypeEntry, name, 4);
VORN_HOST_RECORD_OFFSET(ApiTypeEntry, nameSpace, 8);
VORN_HOST_RECORD_OFFSET(ApiTypeEntry, size, 12);
VORN_HOST_RECORD_OFFSET(ApiTypeEntry, description, 16);
VORN_HOST_RECORD_OFFSET(ApiTypeEntry, tags, 20);
VORN_HOST_RECORD_OFFSET(ApiTypeEntry, tagCount, 24);
VORN_HOST_RECORD_OFFSET(ApiTypeEntry, members, 28);
VORN_HOST_RECORD_OFFSET(ApiTypeEntry, enumerators, 32);
VORN_HOST_RECORD_OFFSET(ApiTypeEntry, count, 36);
VORN_HOST_RECORD_OFFSET(ApiEventEntry, next, 0);
VORN_HOST_RECORD_OFFSET(ApiEventEntry, name, 4);
VORN_HOST_RECORD_OFFSET(ApiEventEntry, nameSpace, 8);
VORN_HOST_RECORD_OFFSET(ApiEventEntry, payloadType, 12);
VORN_HOST_RECORD_OFFSET(ApiEventEntry, description, 16);
VORN_HOST_RECORD_OFFSET(ApiEventEntry, tags, 20);
VORN_HOST_RECORD_OFFSET(ApiEventEntry, tagCount, 24);
VORN_HOST_RECORD_OFFSET(ApiArgumentEntry, next, 0);
VORN_HOST_RECORD_OFFSET(ApiArgumentEntry, name, 4);
VORN_HOST_RECORD_OFFSET(ApiArgumentEntry, description, 8);
VORN_HOST_RECORD_OFFSET(ApiArgumentEntry, type, 12);
VORN_HOST_RECORD_OFFSET(ApiArgumentEntry, elementType, 16);
VORN_HOST_RECORD_OFFSET(ApiArgumentEntry, describedType, 20);
VORN_HOST_RECORD_OFFSET(ApiArgumentEntry, optional, 24);
VORN_HOST_RECORD_OFFSET(ApiArgumentLocation, next, 0);
VORN_HOST_RECORD_OFFSET(ApiArgumentLocation, location, 4);
VORN_HOST_RECORD_OFFSET(ApiTextList, next, 0);
VORN_HOST_RECORD_OFFSET(ApiTextList, texts, 4);
VORN_HOST_RECORD_OFFSET(ApiTextList, count, 8);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, next, 0);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, reserved, 4);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, context, 8);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, name, 12);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, nameSpace, 16);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, arguments, 20);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, argumentCount, 24);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, resultType, 28);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, resultElementType, 32);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, resultDescribedType, 36);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, description, 40);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, help, 44);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, threadSafe, 48);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, async, 49);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, tags, 53);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, tagCount, 57);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, call, 61);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, locations, 65);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, pathTemplate, 69);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, method, 73);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, flags, 77);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, textLists, 78);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, textListCount, 82);
VORN_HOST_RECORD_OFFSET(ApiFunctionEntry, customMethod, 86);
VORN_HOST_RECORD_OFFSET(ApiTable, functions, 0);
VORN_HOST_RECORD_OFFSET(ApiTable, functionCount, 4);
VORN_HOST_RECORD_OFFSET(ApiTable, types, 8);
VORN_HOST_RECORD_OFFSET(ApiTable, typeCount, 12);
VORN_HOST_RECORD_OFFSET(ApiTable, events, 16);
VORN_HOST_RECORD_OFFSET(ApiTable, eventCount, 20);

#ifdef __cplusplus
}
#endif

#endif

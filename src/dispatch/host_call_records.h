/* The request and response records of a call across the host boundary. One
 * layout serves both directions: the plug-in fills a request and the host a
 * response when the plug-in calls the host's request entry, and the other way
 * round when the host calls a function the plug-in exposes.
 *
 * Ownership: whoever fills a response owns what it points to, and frees it
 * when the other side calls the record's release function, exactly once.
 * Request texts and arrays belong to the caller and live for the call only. */
#ifndef VORN_DISPATCH_HOST_CALL_RECORDS_H
#define VORN_DISPATCH_HOST_CALL_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#include "binding/flat_records.h"
#include "support/host_boundary.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Method codes: 0 none/any, 1 DELETE, 2 GET, 3 HEAD, 4 OPTIONS, 5 PATCH,
 * 6 POST, 7 PUT, 8 a custom method named by text beside the code. */
enum HostMethodCode {
    kHostMethodAny = 0,
    kHostMethodDelete = 1,
    kHostMethodGet = 2,
    kHostMethodHead = 3,
    kHostMethodOptions = 4,
    kHostMethodPatch = 5,
    kHostMethodPost = 6,
    kHostMethodPut = 7,
    kHostMethodCustom = 8
};

#pragma pack(push, 4)

/* A named value (a parameter of an outgoing request, a named value of an
 * incoming call); the name may be null. */
typedef struct HostNamedValue {
    const char* name;
    BindingFlatValue value;
} HostNamedValue;

typedef struct HostHeader {
    const char* name;
    const char* value;
} HostHeader;

typedef struct HostRequest {
    uint32_t method;                /* a HostMethodCode */
    const char* path;               /* query string included */
    const HostNamedValue* values;   /* null when count is 0 */
    uint32_t valueCount;
    const void* functionContext;    /* calls of exposed functions: from the API table */
    const HostHeader* headers;
    uint32_t headerCount;
    const char* contentType;
    const uint8_t* body;            /* null when there is no body */
    uint32_t bodyLength;
    uintptr_t context;              /* requests: the host context; calls: the request word */
    const char* customMethod;       /* method 8 only */
} HostRequest;

#pragma pack(pop)

typedef struct HostResponse HostResponse;

/* Reads the next chunk of a streamed body into buffer. On entry *length is
 * the buffer's size; on return it holds the bytes delivered, and *more says
 * whether further data follows. Returns false when the read failed. */
typedef bool(VORN_HOST_CALL* HostStreamRead)(void* stream, void* buffer, uint32_t* length, bool* more);
typedef void(VORN_HOST_CALL* HostStreamRelease)(void* stream);
/* Frees everything the response owns; called once by the receiving side. */
typedef void(VORN_HOST_CALL* HostResponseRelease)(HostResponse* response);

/* Byte-packed: the host reads the flag bytes at offsets 16 and 17 and the
 * words after them unaligned. */
#pragma pack(push, 1)
struct HostResponse {
    BindingFlatValue body;          /* when the body is not streamed */
    char* error;                    /* non-null: the request failed */
    uint8_t failed;
    uint8_t flag;
    uint32_t resultForm;
    uint32_t status;                /* of a failed request */
    const char* text;
    HostHeader* headers;
    uint32_t headerCount;
    HostStreamRead streamRead;      /* non-null: the body is streamed */
    HostStreamRelease streamRelease;
    uint32_t streamSize;            /* a capacity hint */
    uint32_t reserved;
    void* stream;
    HostResponseRelease release;
};

#pragma pack(pop)

VORN_HOST_RECORD_SIZE(HostNamedValue, 16);
VORN_HOST_RECORD_SIZE(HostHeader, 8);
VORN_HOST_RECORD_SIZE(HostRequest, 48);
VORN_HOST_RECORD_SIZE(HostResponse, 62);
VORN_HOST_RECORD_OFFSET(HostNamedValue, name, 0);
VORN_HOST_RECORD_OFFSET(HostNamedValue, value, 4);
VORN_HOST_RECORD_OFFSET(HostHeader, name, 0);
VORN_HOST_RECORD_OFFSET(HostHeader, value, 4);
VORN_HOST_RECORD_OFFSET(HostRequest, method, 0);
VORN_HOST_RECORD_OFFSET(HostRequest, path, 4);
VORN_HOST_RECORD_OFFSET(HostRequest, values, 8);
VORN_HOST_RECORD_OFFSET(HostRequest, valueCount, 12);
VORN_HOST_RECORD_OFFSET(HostRequest, functionContext, 16);
VORN_HOST_RECORD_OFFSET(HostRequest, headers, 20);
VORN_HOST_RECORD_OFFSET(HostRequest, headerCount, 24);
VORN_HOST_RECORD_OFFSET(HostRequest, contentType, 28);
VORN_HOST_RECORD_OFFSET(HostRequest, body, 32);
VORN_HOST_RECORD_OFFSET(HostRequest, bodyLength, 36);
VORN_HOST_RECORD_OFFSET(HostRequest, context, 40);
VORN_HOST_RECORD_OFFSET(HostRequest, customMethod, 44);
VORN_HOST_RECORD_OFFSET(HostResponse, body, 0);
VORN_HOST_RECORD_OFFSET(HostResponse, error, 12);
VORN_HOST_RECORD_OFFSET(HostResponse, failed, 16);
VORN_HOST_RECORD_OFFSET(HostResponse, flag, 17);
VORN_HOST_RECORD_OFFSET(HostResponse, resultForm, 18);
VORN_HOST_RECORD_OFFSET(HostResponse, status, 22);
VORN_HOST_RECORD_OFFSET(HostResponse, text, 26);
VORN_HOST_RECORD_OFFSET(HostResponse, headers, 30);
VORN_HOST_RECORD_OFFSET(HostResponse, headerCount, 34);
VORN_HOST_RECORD_OFFSET(HostResponse, streamRead, 38);
VORN_HOST_RECORD_OFFSET(HostResponse, streamRelease, 42);
VORN_HOST_RECORD_OFFSET(HostResponse, streamSize, 46);
VORN_HOST_RECORD_OFFSET(HostResponse, reserved, 50);
VORN_HOST_RECORD_OFFSET(HostResponse, stream, 54);
VORN_HOST_RECORD_OFFSET(HostResponse, release, 58);

#ifdef __cplusplus
}
#endif

#endif

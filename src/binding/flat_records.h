/* Values as they cross the host boundary: plain records that both sides can
 * build and free without sharing the value model. On the 32-bit host
 * interface a flat value is 12 bytes, a flat member 17 (packed) and a flat
 * result 20.
 *
 * Ownership: kinds 6 (string), 8 (blob), 9 (collection) and 10 (structure)
 * own their payload, allocated by the side that built the value through its
 * own heap and freed by that side's release function; kinds 5 and 7 borrow
 * theirs. A flat member owns its name only when ownsName is non-zero. */
#ifndef VORN_BINDING_FLAT_RECORDS_H
#define VORN_BINDING_FLAT_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#include "support/host_boundary.h"

#ifdef __cplusplus
extern "C" {
#endif

enum BindingFlatKind {
    kFlatEmpty = 0,
    kFlatBool = 1,
    kFlatSigned = 2,
    kFlatUnsigned = 3,
    kFlatFloat = 4,
    kFlatBorrowedString = 5,
    kFlatOwnedString = 6,
    kFlatBorrowedBlob = 7,
    kFlatOwnedBlob = 8,
    kFlatCollection = 9,
    kFlatStructure = 10
};

typedef struct BindingFlatMember BindingFlatMember;

#pragma pack(push, 4)
typedef struct BindingFlatValue {
    int32_t kind; /* a BindingFlatKind */
    union BindingFlatPayload {
        uint8_t boolean;
        int64_t i;
        uint64_t u;
        double d;
        struct {
            const char* text; /* NUL-terminated */
            uint32_t length;  /* without the NUL; kind 6 only */
        } string;
        struct {
            const uint8_t* data;
            uint32_t length;
        } blob;
        struct {
            struct BindingFlatValue* items;
            uint32_t count;
        } collection;
        struct {
            BindingFlatMember* members;
            uint32_t count;
        } structure;
    } payload;
} BindingFlatValue;
#pragma pack(pop)

#pragma pack(push, 1)
/* The value sits at offset 4, unaligned: copy it in and out, never take its
 * address as an aligned pointer. */
struct BindingFlatMember {
    const char* name; /* NUL-terminated */
    BindingFlatValue value;
    uint8_t ownsName; /* non-zero: the name is freed with the member */
};
#pragma pack(pop)

#pragma pack(push, 4)
typedef struct BindingFlatResult {
    BindingFlatValue value;
    char* message; /* owned; null when there is none */
    uint8_t failed;
    uint8_t padding[3];
} BindingFlatResult;
#pragma pack(pop)

VORN_HOST_RECORD_SIZE(BindingFlatValue, 12);
VORN_HOST_RECORD_SIZE(BindingFlatMember, 17);
VORN_HOST_RECORD_SIZE(BindingFlatResult, 20);
VORN_STATIC_ASSERT(offsetof(BindingFlatValue, payload) == 4, "the payload follows the kind");
VORN_HOST_RECORD_OFFSET(BindingFlatValue, kind, 0);
VORN_HOST_RECORD_OFFSET(BindingFlatValue, payload.boolean, 4);
VORN_HOST_RECORD_OFFSET(BindingFlatValue, payload.i, 4);
VORN_HOST_RECORD_OFFSET(BindingFlatValue, payload.u, 4);
VORN_HOST_RECORD_OFFSET(BindingFlatValue, payload.d, 4);
VORN_HOST_RECORD_OFFSET(BindingFlatValue, payload.string.text, 4);
VORN_HOST_RECORD_OFFSET(BindingFlatValue, payload.string.length, 8);
VORN_HOST_RECORD_OFFSET(BindingFlatValue, payload.blob.data, 4);
VORN_HOST_RECORD_OFFSET(BindingFlatValue, payload.blob.length, 8);
VORN_HOST_RECORD_OFFSET(BindingFlatValue, payload.collection.items, 4);
VORN_HOST_RECORD_OFFSET(BindingFlatValue, payload.collection.count, 8);
VORN_HOST_RECORD_OFFSET(BindingFlatValue, payload.structure.members, 4);
VORN_HOST_RECORD_OFFSET(BindingFlatValue, payload.structure.count, 8);
VORN_HOST_RECORD_OFFSET(BindingFlatMember, name, 0);
VORN_HOST_RECORD_OFFSET(BindingFlatMember, value, 4);
VORN_HOST_RECORD_OFFSET(BindingFlatMember, ownsName, 16);
VORN_HOST_RECORD_OFFSET(BindingFlatResult, value, 0);
VORN_HOST_RECORD_OFFSET(BindingFlatResult, message, 12);
VORN_HOST_RECORD_OFFSET(BindingFlatResult, failed, 16);
VORN_HOST_RECORD_OFFSET(BindingFlatResult, padding, 17);

#ifdef __cplusplus
}
#endif

#endif

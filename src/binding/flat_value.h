#pragma once
// Values as they cross the host boundary: plain records that both sides can
// build and free without sharing the value model. On the 32-bit host
// interface a flat value is 12 bytes, a flat member 17 (packed) and a flat
// result 20; on a 64-bit build the pointers widen the records.
//
// Ownership: kinds 6 (string), 8 (blob), 9 (collection) and 10 (structure)
// own their payload, which comes from the plug-in's counting heap functions
// and is freed by ReleaseFlatValue; kinds 5 and 7 borrow theirs.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "binding/binding_property.h"
#include "binding/type_registry.h"

namespace Vorn {

enum BindingFlatKind : int32_t {
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
    kFlatStructure = 10,
};

struct BindingFlatMember;

#pragma pack(push, 4)
struct BindingFlatValue {
    int32_t kind;
    union Payload {
        uint8_t boolean;
        int64_t i;
        uint64_t u;
        double d;
        struct {
            const char* text;  // NUL-terminated
            uint32_t length;   // without the NUL; kind 6 only
        } string;
        struct {
            const uint8_t* data;
            uint32_t length;
        } blob;
        struct {
            BindingFlatValue* items;
            uint32_t count;
        } collection;
        struct {
            BindingFlatMember* members;
            uint32_t count;
        } structure;
    } payload;
};
#pragma pack(pop)

#pragma pack(push, 1)
struct BindingFlatMember {
    const char* name;  // NUL-terminated
    BindingFlatValue value;
    uint8_t ownsName;  // non-zero: the name is freed with the member
};
#pragma pack(pop)

#pragma pack(push, 4)
struct BindingFlatResult {
    BindingFlatValue value;
    char* message;  // owned; null when there is none
    uint8_t failed;
    uint8_t padding[3];
};
#pragma pack(pop)

// A member's value sits at offset 4 of a packed 17-byte record, so it is not
// aligned: it is read and written by copying, never through a reference.
BindingFlatValue LoadMemberValue(const BindingFlatMember& member);
void StoreMemberValue(BindingFlatMember& member, const BindingFlatValue& value);

static_assert(sizeof(void*) != 4 || sizeof(BindingFlatValue) == 12, "flat value is 12 bytes on the host interface");
static_assert(sizeof(void*) != 4 || sizeof(BindingFlatMember) == 17, "flat member is 17 bytes, packed");
static_assert(sizeof(void*) != 4 || sizeof(BindingFlatResult) == 20, "flat result is 20 bytes");
static_assert(offsetof(BindingFlatValue, payload) == 4);

// "bool", "signed", ... for flat kinds; "" for unknown ones.
const char* FlatKindName(int32_t kind);

// Frees what the value owns and zeroes all of it.
void ReleaseFlatValue(BindingFlatValue* value);
void ReleaseFlatResult(BindingFlatResult* result);

// Setters release the old content first.
void FlatSetBool(BindingFlatValue* value, bool b);
void FlatSetSigned(BindingFlatValue* value, int64_t n);
void FlatSetUnsigned(BindingFlatValue* value, uint64_t n);
void FlatSetFloat(BindingFlatValue* value, double d);
void FlatSetText(BindingFlatValue* value, const char* text);  // kind 6, copied up to its first NUL
void FlatSetBytes(BindingFlatValue* value, const void* data, std::size_t length);  // kind 8, copied
// Take over arrays allocated through the plug-in's heap functions.
void FlatSetCollection(BindingFlatValue* value, BindingFlatValue* items, uint32_t count);
void FlatSetStructure(BindingFlatValue* value, BindingFlatMember* members, uint32_t count);

// Value to flat (`out` must hold a valid flat value, e.g. a zeroed one; it is
// released first). Enums become their enumerator's name when the registry knows
// it, else their number. Fails (returns false, leaving what was built for
// ReleaseFlatValue) only for trees nested deeper than kMaxNestingDepth.
bool FlatFromValue(const BindingProperty& value, const TypeRegistry* registry, BindingFlatValue* out);

// Flat to value, for data the host hands in: null text pointers read as the
// empty text, unknown kinds and nesting deeper than kMaxNestingDepth fail
// with a message in `result`, and no element count can make it throw.
// Returns false on failure; what was converted before stays in `out`.
bool ValueFromFlat(const BindingFlatValue& flat, std::string_view path, BindingProperty& out,
                   BindingFlatResult* result);

}  // namespace Vorn

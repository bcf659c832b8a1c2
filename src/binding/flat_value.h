#pragma once
// The C++ side of the flat records (binding/flat_records.h): building,
// releasing and converting them to and from value trees. Everything owned is
// allocated through the plug-in's counting heap functions and freed by
// ReleaseFlatValue.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "binding/binding_property.h"
#include "binding/flat_records.h"
#include "binding/type_registry.h"

namespace Vorn {

// A member's value sits at offset 4 of a packed 17-byte record, so it is not
// aligned: it is read and written by copying, never through a reference.
BindingFlatValue LoadMemberValue(const BindingFlatMember& member);
void StoreMemberValue(BindingFlatMember& member, const BindingFlatValue& value);

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
// Zeroed arrays from the plug-in's heap functions, for the two below
// (std::bad_alloc when there is no memory).
BindingFlatValue* NewFlatItems(uint32_t count);
BindingFlatMember* NewFlatMembers(uint32_t count);
// Take over arrays allocated through the plug-in's heap functions.
void FlatSetCollection(BindingFlatValue* value, BindingFlatValue* items, uint32_t count);
void FlatSetStructure(BindingFlatValue* value, BindingFlatMember* members, uint32_t count);

// Value to flat (`out` must hold a valid flat value, e.g. a zeroed one; it is
// released first). Enums become their enumerator's name when the registry knows
// it, else their number. Fails (returns false, leaving what was built for
// ReleaseFlatValue) only for trees nested deeper than kMaxNestingDepth.
bool FlatFromValue(const BindingProperty& value, const TypeRegistry* registry, BindingFlatValue* out);
// The same for a value that sits depth levels down in the record written.
bool FlatFromValue(const BindingProperty& value, const TypeRegistry* registry, BindingFlatValue* out,
                   std::size_t depth);

// Whether two flat values hold the same: kinds, payloads (texts up to their
// NUL, bytes), elements, and members in the same order with the same names
// and name ownership. Recursive: for values within the nesting limit.
bool FlatValuesEqual(const BindingFlatValue& a, const BindingFlatValue& b);

// Flat to value, for data the host hands in: null text pointers read as the
// empty text, unknown kinds and nesting deeper than kMaxNestingDepth fail
// with a message in `result`, and no element count can make it throw.
// Returns false on failure; what was converted before stays in `out`.
bool ValueFromFlat(const BindingFlatValue& flat, std::string_view path, BindingProperty& out,
                   BindingFlatResult* result);
// The same for a value that sits depth levels down in the record it came
// from: those levels count toward the nesting limit.
bool ValueFromFlat(const BindingFlatValue& flat, std::string_view path, BindingProperty& out,
                   BindingFlatResult* result, std::size_t depth);

}  // namespace Vorn

#pragma once
// A host's flat value read straight into native data, without the value tree
// that ValueFromFlat followed by the value-to-native rules builds on the way.
//
// Each function here either gives exactly what those two steps give (true),
// or declines (false): on any failure, and wherever the tree would change the
// data on the way (a name given twice merges or replaces in a tree). The
// caller then takes the two steps, which produce every message as before, so
// nothing a host or a plug-in can observe depends on which way was taken.
// A declined target may hold part of the data: callers start again from a
// fresh one.
//
// `depth` is how many levels down the host's record the value sits; it counts
// toward the nesting limit as it does for ValueFromFlat.
#include <cstddef>
#include <cstdint>

#include "binding/binding_property.h"
#include "binding/flat_records.h"
#include "binding/type_registry.h"

namespace Vorn {

// True when ValueFromFlat would read the value without failing: kinds known,
// nesting within the limit, counts within the collections' bound.
bool FlatReadsCleanly(const BindingFlatValue& flat, std::size_t depth);

// Which field each member position named in the last record of a list, so
// that records of one shape find their fields without a search: field index
// + 1, 0 for none known.
struct FlatFieldHint {
    static constexpr uint32_t kMembers = 32;
    uint8_t field[kMembers] = {};
};

// A record described by `type`: its fields from the members named like them,
// the other members only checked as ValueFromFlat would. The hint, when
// given, is shared by the records of one list.
bool FlatToStruct(void* native, const BindingFlatValue& flat, std::size_t depth, const BindingTypeDescription* type,
                  const TypeRegistry* registry, FlatFieldHint* hint = nullptr);

// A whole value: the tree of the flat value, built in place.
bool FlatToObject(BindingProperty& native, const BindingFlatValue& flat, std::size_t depth);

// Whether the flat kind is one that reads as a single scalar (bool, numbers,
// texts, byte arrays).
inline bool IsFlatScalarKind(int32_t kind) { return kind >= kFlatBool && kind <= kFlatOwnedBlob; }

// The element or member count of a collection or structure as ValueFromFlat
// reads it (0 for a null array); false when it would refuse the container
// (nested too deep, a count above the collections' bound).
bool FlatContainerCount(const BindingFlatValue& flat, std::size_t depth, uint32_t& count);

}  // namespace Vorn

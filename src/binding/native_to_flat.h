#pragma once
// Native data written straight into the flat records a host reads, without
// the value tree that the native-to-value rules followed by FlatFromValue
// build on the way.
//
// Each function here either writes exactly the flat value those two steps
// write (true), or declines (false) where they would fail or where the tree
// would change the data on the way (two names that are one up to a NUL). On
// decline `out` holds what was written so far, for ReleaseFlatValue; the
// caller then takes the two steps.
//
// `depth` is how many levels down the written record the value sits, as for
// FlatFromValue's nesting limit. `zero` tells whether the value is its
// type's zero value (as IsZeroValue says of the value it would become), for
// members left out when zero.
#include <cstddef>
#include <cstdint>

#include "binding/flat_records.h"
#include "binding/type_registry.h"

namespace Vorn {

// A record described by `type`: a structure of its members in name order.
bool StructToFlat(const void* native, const BindingTypeDescription* type, const TypeRegistry* registry,
                  BindingFlatValue* out, std::size_t depth);

}  // namespace Vorn

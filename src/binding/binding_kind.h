#pragma once
#include <cstdint>

namespace Vorn {

// The kinds of a value; the codes are part of every message and of the
// flat-value conversion, so they never change.
enum class BindingKind : uint8_t {
    Empty = 0,
    Bool = 1,
    Signed = 2,
    Unsigned = 3,
    Float = 4,
    String = 5,
    Blob = 6,
    Enum = 7,
    Collection = 8,
    Structure = 9,
};

// "empty", "bool", ... as printed in messages; "" for unknown codes. Only the
// low 8 bits of the code are looked at.
const char* BindingKindName(uint32_t code);
inline const char* BindingKindName(BindingKind kind) { return BindingKindName(static_cast<uint32_t>(kind)); }

}  // namespace Vorn

#pragma once
// Native shapes of members, arguments and return values, and how a member
// refers to its type.
#include <cstdint>
#include <string>

namespace Vorn {

enum class BindingType : uint32_t {
    None = 0,
    Bool = 1,
    Int8 = 2,
    UInt8 = 3,
    Int16 = 4,
    UInt16 = 5,
    Int32 = 6,
    UInt32 = 7,
    Int64 = 8,
    UInt64 = 9,
    Float = 10,
    Double = 11,
    String = 12,
    Object = 13,  // a whole Vorn::BindingProperty
    Blob = 14,
    Vector = 15,
    Enum = 16,
    Struct = 17,
    Callback = 18,
    Map = 19,  // string keys
};

struct BindingTypeDescription;

struct TypeRef {
    BindingType type = BindingType::None;
    BindingType elementType = BindingType::None;  // vectors and maps only
    // The enum or structure involved: the type itself for enums and
    // structures, the element type for vectors and maps; null otherwise.
    const BindingTypeDescription* described = nullptr;
};

// The native name of a shape code ("int32", "vector", ...), "" outside 1-19.
// It is the type name T of the conversion messages.
const char* ShapeName(BindingType type);

// A type as the help records describe it: its native name and, for vectors
// and maps, the native name of the element.
struct BindingFullTypeIdentifier {
    std::string type;
    std::string elementType;
};

BindingFullTypeIdentifier NativeTypeName(const TypeRef& ref);
// "int32", "bytearray", "list[L{X}]", "dict[int32]", "L{Name}"; "" outside 1-19.
std::string HelpTypeName(const TypeRef& ref);

}  // namespace Vorn

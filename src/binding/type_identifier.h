#pragma once
// Type identifiers: one static per native type, holding its fixed 32-bit
// value and its text "#" + eight upper-case hexadecimal digits.
//
// Types whose identifier is fixed by the platform (built-in, help and
// runtime types) declare it through BindingTypeIdValue; every other type's
// identifier is derived at build time from a fixed name, with FNV-1a, so it
// is the same in every build and on every compiler.
#include <cstdint>
#include <map>
#include <string_view>
#include <string>
#include <unordered_map>
#include <vector>

#include "binding/interned_string.h"

namespace Vorn {

class BindingProperty;

struct TypeIdentifier {
    uint32_t value;
    char text[10];
};

// Never entered in the registry's identifier index.
inline constexpr uint32_t kReservedTypeIdentifier = 0x1BE7EF8E;

constexpr TypeIdentifier MakeTypeIdentifier(uint32_t value) {
    constexpr char kHex[] = "0123456789ABCDEF";
    TypeIdentifier id{value, {}};
    id.text[0] = '#';
    for (int i = 0; i < 8; ++i) id.text[1 + i] = kHex[(value >> (28 - 4 * i)) & 0xF];
    id.text[9] = '\0';
    return id;
}

// The fixed name a native type's derived identifier is hashed from. Records
// and enumerations are named by their descriptor (binding_descriptor.h);
// names of containers are composed from their element's.
template <typename T, typename = void>
struct BindingTypeName;

#define VORN_BINDING_SCALAR_NAME(Type, Name)                                              \
    template <>                                                                           \
    struct BindingTypeName<Type> {                                                        \
        static constexpr uint32_t Hash(uint32_t h = kFnvOffsetBasis) { return Fnv1a(std::string_view(Name), h); } \
    }

VORN_BINDING_SCALAR_NAME(bool, "bool");
VORN_BINDING_SCALAR_NAME(int8_t, "int8");
VORN_BINDING_SCALAR_NAME(uint8_t, "uint8");
VORN_BINDING_SCALAR_NAME(int16_t, "int16");
VORN_BINDING_SCALAR_NAME(uint16_t, "uint16");
VORN_BINDING_SCALAR_NAME(int32_t, "int32");
VORN_BINDING_SCALAR_NAME(uint32_t, "uint32");
VORN_BINDING_SCALAR_NAME(int64_t, "int64");
VORN_BINDING_SCALAR_NAME(uint64_t, "uint64");
VORN_BINDING_SCALAR_NAME(float, "float");
VORN_BINDING_SCALAR_NAME(double, "double");
VORN_BINDING_SCALAR_NAME(std::string, "string");
VORN_BINDING_SCALAR_NAME(BindingProperty, "object");
VORN_BINDING_SCALAR_NAME(std::vector<uint8_t>, "blob");
#undef VORN_BINDING_SCALAR_NAME

template <typename E>
struct BindingTypeName<std::vector<E>, std::enable_if_t<!std::is_same_v<E, uint8_t>>> {
    static constexpr uint32_t Hash(uint32_t h = kFnvOffsetBasis) {
        return Fnv1a(">", BindingTypeName<E>::Hash(Fnv1a("vector<", h)));
    }
};

template <typename E>
struct BindingTypeName<std::map<std::string, E>> {
    static constexpr uint32_t Hash(uint32_t h = kFnvOffsetBasis) {
        return Fnv1a(">", BindingTypeName<E>::Hash(Fnv1a("map<", h)));
    }
};

template <typename E>
struct BindingTypeName<std::unordered_map<std::string, E>> {
    static constexpr uint32_t Hash(uint32_t h = kFnvOffsetBasis) {
        return Fnv1a(">", BindingTypeName<E>::Hash(Fnv1a("map<", h)));
    }
};

// The identifier value of T: fixed where the platform gives one, else derived.
template <typename T, typename = void>
struct BindingTypeIdValue {
    static constexpr uint32_t value = BindingTypeName<T>::Hash();
};

// Declares a fixed identifier for a native type.
#define VORN_FIXED_TYPE_ID(Type, Value)                    \
    template <>                                            \
    struct BindingTypeIdValue<Type> {                      \
        static constexpr uint32_t value = (Value);         \
    }

// The one identifier static of T.
template <typename T>
const TypeIdentifier& TypeIdOf() {
    static constexpr TypeIdentifier id = MakeTypeIdentifier(BindingTypeIdValue<T>::value);
    static_assert(BindingTypeIdValue<T>::value != kReservedTypeIdentifier, "reserved type identifier");
    return id;
}

}  // namespace Vorn

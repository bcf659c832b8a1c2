#pragma once
// Declarative description of native records and enumerations, and the typed
// conversions built on it.
//
// A record or enumeration is described once, by specialising
// BindingDescriptor next to the type:
//
//   template <> struct BindingDescriptor<BindingAsyncFailureEvent> {
//       static constexpr const char* kName = "BindingAsyncFailureEvent";
//       static constexpr uint32_t kIdentifier = 0x2DB89656;      // optional: else derived from kName
//       static constexpr const char* kDescription = "...";       // optional
//       static constexpr std::string_view kTags[] = {"$builtin"}; // optional
//       static constexpr auto kFields = std::make_tuple(
//           BindingField("asyncToken", &BindingAsyncFailureEvent::asyncToken, "Asynchronous operation token"),
//           BindingField("error", &BindingAsyncFailureEvent::error, "Error message"));
//   };
//
// an enumeration lists kEnumerators instead of kFields. RegisterBindingType<T>
// then enters it in a registry (members in the listed order, their shapes and
// conversions following from their C++ types), and NativeToValue /
// ValueToNative convert it, as well as lists (std::vector), string-keyed maps
// (std::map, std::unordered_map), strings, scalars, byte arrays
// (std::vector<uint8_t>) and whole values (Vorn::BindingProperty).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "binding/binding_limits.h"
#include "binding/binding_property.h"
#include "binding/flat_to_native.h"
#include "binding/native_conversion.h"
#include "binding/type_identifier.h"
#include "binding/flat_value.h"
#include "binding/native_to_flat.h"
#include "binding/type_registry.h"
#include "support/memory_hooks.h"

namespace Vorn {

template <typename T>
struct BindingDescriptor {};

template <typename Owner, typename Member>
struct BindingFieldSpec {
    const char* name;
    Member Owner::*member;
    const char* description;
    uint32_t flags;
    bool optional;
};

template <typename Owner, typename Member>
constexpr BindingFieldSpec<Owner, Member> BindingField(const char* name, Member Owner::*member,
                                                       const char* description = "", uint32_t flags = 0,
                                                       bool optional = false) {
    return {name, member, description, flags, optional};
}

struct BindingEnumeratorSpec {
    const char* name;
    int32_t number;
    const char* description = "";
};

// An enumerator by its native constant, so that its number is written once.
template <typename Enum>
    requires std::is_enum_v<Enum>
constexpr BindingEnumeratorSpec BindingEnumerator(const char* name, Enum value, const char* description = "") {
    return {name, static_cast<int32_t>(value), description};
}

template <typename T>
concept DescribedRecord = requires { BindingDescriptor<T>::kName; BindingDescriptor<T>::kFields; };
template <typename T>
concept DescribedEnum = std::is_enum_v<T> && requires {
    BindingDescriptor<T>::kName;
    BindingDescriptor<T>::kEnumerators;
};
template <typename T>
concept Described = DescribedRecord<T> || DescribedEnum<T>;

// Described types are named, and identified, by their descriptor.
template <Described T>
struct BindingTypeName<T> {
    static constexpr uint32_t Hash(uint32_t h = kFnvOffsetBasis) {
        return Fnv1a(std::string_view(BindingDescriptor<T>::kName), h);
    }
};

template <Described T>
    requires requires { BindingDescriptor<T>::kIdentifier; }
struct BindingTypeIdValue<T> {
    static constexpr uint32_t value = BindingDescriptor<T>::kIdentifier;
};

// How each native type converts. Specialisations give the shape codes, the
// description involved (for enums, records and containers of them) and the
// two directions.
template <typename T, typename = void>
struct NativeShape;

template <typename T>
struct ScalarShapeBase {
    static constexpr BindingType kElementType = BindingType::None;
    static const BindingTypeDescription* Describe(const TypeRegistry*) { return nullptr; }
};

template <>
struct NativeShape<bool> : ScalarShapeBase<bool> {
    static constexpr BindingType kType = BindingType::Bool;
    static void ToValue(BindingResult&, BindingProperty& target, const bool& native, const BindingTypeDescription*) {
        target.SetBool(native);
    }
    static void FromValue(BindingResult& result, bool& native, const BindingProperty& input, std::string_view path,
                          const BindingTypeDescription*, const TypeRegistry*) {
        ConvertToBool(result, native, input, path);
    }
    static bool FromFlat(bool& native, const BindingFlatValue& input, std::size_t, const BindingTypeDescription*,
                         const TypeRegistry*) {
        BindingResult result;
        ConvertToBool(result, native, FlatScalar(input), {});
        return result.ok;
    }
    static bool ToFlat(const bool& native, const BindingTypeDescription*, const TypeRegistry*, BindingFlatValue* out,
                       std::size_t, bool& zero) {
        FlatSetBool(out, native);
        zero = !native;
        return true;
    }
};

template <typename T>
struct NativeShape<T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>> : ScalarShapeBase<T> {
    static constexpr BindingType kType =
        sizeof(T) == 1   ? (std::is_signed_v<T> ? BindingType::Int8 : BindingType::UInt8)
        : sizeof(T) == 2 ? (std::is_signed_v<T> ? BindingType::Int16 : BindingType::UInt16)
        : sizeof(T) == 4 ? (std::is_signed_v<T> ? BindingType::Int32 : BindingType::UInt32)
                         : (std::is_signed_v<T> ? BindingType::Int64 : BindingType::UInt64);
    static void ToValue(BindingResult&, BindingProperty& target, const T& native, const BindingTypeDescription*) {
        if constexpr (std::is_signed_v<T>) {
            target.SetSigned(native);
        } else {
            target.SetUnsigned(native);
        }
    }
    static void FromValue(BindingResult& result, T& native, const BindingProperty& input, std::string_view path,
                          const BindingTypeDescription*, const TypeRegistry*) {
        if constexpr (std::is_signed_v<T>) {
            int64_t v = 0;
            ConvertToSigned(result, v, input, path, std::numeric_limits<T>::min(), std::numeric_limits<T>::max(),
                            ShapeName(kType));
            if (result.ok) native = static_cast<T>(v);
        } else {
            uint64_t v = 0;
            ConvertToUnsigned(result, v, input, path, std::numeric_limits<T>::max(), ShapeName(kType));
            if (result.ok) native = static_cast<T>(v);
        }
    }
    static bool FromFlat(T& native, const BindingFlatValue& input, std::size_t, const BindingTypeDescription*,
                         const TypeRegistry*) {
        BindingResult result;
        if constexpr (std::is_signed_v<T>) {
            int64_t v = 0;
            ConvertToSigned(result, v, FlatScalar(input), {}, std::numeric_limits<T>::min(),
                            std::numeric_limits<T>::max(), ShapeName(kType));
            if (result.ok) native = static_cast<T>(v);
        } else {
            uint64_t v = 0;
            ConvertToUnsigned(result, v, FlatScalar(input), {}, std::numeric_limits<T>::max(), ShapeName(kType));
            if (result.ok) native = static_cast<T>(v);
        }
        return result.ok;
    }
    static bool ToFlat(const T& native, const BindingTypeDescription*, const TypeRegistry*, BindingFlatValue* out,
                       std::size_t, bool& zero) {
        if constexpr (std::is_signed_v<T>) {
            FlatSetSigned(out, native);
        } else {
            FlatSetUnsigned(out, native);
        }
        zero = native == 0;
        return true;
    }
};

template <typename T>
struct NativeShape<T, std::enable_if_t<std::is_floating_point_v<T>>> : ScalarShapeBase<T> {
    static constexpr BindingType kType = sizeof(T) == 4 ? BindingType::Float : BindingType::Double;
    static void ToValue(BindingResult&, BindingProperty& target, const T& native, const BindingTypeDescription*) {
        target.SetDouble(native);
    }
    static void FromValue(BindingResult& result, T& native, const BindingProperty& input, std::string_view path,
                          const BindingTypeDescription*, const TypeRegistry*) {
        double v = 0.0;
        ConvertToFloating(result, v, input, path, -static_cast<double>(std::numeric_limits<T>::max()),
                          static_cast<double>(std::numeric_limits<T>::max()), ShapeName(kType));
        if (result.ok) native = static_cast<T>(v);
    }
    static bool FromFlat(T& native, const BindingFlatValue& input, std::size_t, const BindingTypeDescription*,
                         const TypeRegistry*) {
        BindingResult result;
        double v = 0.0;
        ConvertToFloating(result, v, FlatScalar(input), {}, -static_cast<double>(std::numeric_limits<T>::max()),
                          static_cast<double>(std::numeric_limits<T>::max()), ShapeName(kType));
        if (result.ok) native = static_cast<T>(v);
        return result.ok;
    }
    static bool ToFlat(const T& native, const BindingTypeDescription*, const TypeRegistry*, BindingFlatValue* out,
                       std::size_t, bool& zero) {
        FlatSetFloat(out, native);
        zero = static_cast<double>(native) == 0.0;
        return true;
    }
};

template <>
struct NativeShape<std::string> : ScalarShapeBase<std::string> {
    static constexpr BindingType kType = BindingType::String;
    static void ToValue(BindingResult&, BindingProperty& target, const std::string& native,
                        const BindingTypeDescription*) {
        target.SetString(std::string_view(native));
    }
    static void FromValue(BindingResult& result, std::string& native, const BindingProperty& input,
                          std::string_view path, const BindingTypeDescription*, const TypeRegistry* registry) {
        ConvertToString(result, native, input, path, registry);
    }
    static bool FromFlat(std::string& native, const BindingFlatValue& input, std::size_t,
                         const BindingTypeDescription*, const TypeRegistry* registry) {
        BindingResult result;
        ConvertToString(result, native, FlatScalar(input), {}, registry);
        return result.ok;
    }
    static bool ToFlat(const std::string& native, const BindingTypeDescription*, const TypeRegistry*,
                       BindingFlatValue* out, std::size_t, bool& zero) {
        FlatSetText(out, native.c_str());  // up to a NUL, as from a value's string
        zero = native.empty();
        return true;
    }
};

template <>
struct NativeShape<BindingProperty> : ScalarShapeBase<BindingProperty> {
    static constexpr BindingType kType = BindingType::Object;
    static void ToValue(BindingResult&, BindingProperty& target, const BindingProperty& native,
                        const BindingTypeDescription*) {
        target = native;
    }
    static void FromValue(BindingResult& result, BindingProperty& native, const BindingProperty& input,
                          std::string_view, const BindingTypeDescription*, const TypeRegistry*) {
        ConvertToObject(result, native, input);
    }
    static bool FromFlat(BindingProperty& native, const BindingFlatValue& input, std::size_t depth,
                         const BindingTypeDescription*, const TypeRegistry*) {
        return FlatToObject(native, input, depth);
    }
    static bool ToFlat(const BindingProperty& native, const BindingTypeDescription*, const TypeRegistry* registry,
                       BindingFlatValue* out, std::size_t depth, bool& zero) {
        zero = IsZeroValue(native);
        return FlatFromValue(native, registry, out, depth);
    }
};

template <>
struct NativeShape<std::vector<uint8_t>> : ScalarShapeBase<std::vector<uint8_t>> {
    static constexpr BindingType kType = BindingType::Blob;
    static void ToValue(BindingResult&, BindingProperty& target, const std::vector<uint8_t>& native,
                        const BindingTypeDescription*) {
        target.SetBlob(native.data(), native.size());
    }
    static void FromValue(BindingResult& result, std::vector<uint8_t>& native, const BindingProperty& input,
                          std::string_view path, const BindingTypeDescription*, const TypeRegistry*) {
        ConvertToBlob(result, native, input, path);
    }
    static bool FromFlat(std::vector<uint8_t>& native, const BindingFlatValue& input, std::size_t,
                         const BindingTypeDescription*, const TypeRegistry*) {
        BindingResult result;
        ConvertToBlob(result, native, FlatScalar(input), {});
        return result.ok;
    }
    static bool ToFlat(const std::vector<uint8_t>& native, const BindingTypeDescription*, const TypeRegistry*,
                       BindingFlatValue* out, std::size_t, bool& zero) {
        FlatSetBytes(out, native.data(), native.size());
        zero = native.empty();
        return true;
    }
};

template <DescribedEnum T>
struct NativeShape<T> {
    static_assert(sizeof(T) == 4, "enumerations cross the binding as 32-bit numbers");
    static constexpr BindingType kType = BindingType::Enum;
    static constexpr BindingType kElementType = BindingType::None;
    static const BindingTypeDescription* Describe(const TypeRegistry* registry) {
        return registry != nullptr ? registry->FindByIdentifier(&TypeIdOf<T>()) : nullptr;
    }
    static void ToValue(BindingResult&, BindingProperty& target, const T& native, const BindingTypeDescription*) {
        target.SetEnum(static_cast<int32_t>(native), &TypeIdOf<T>());
    }
    static void FromValue(BindingResult& result, T& native, const BindingProperty& input, std::string_view path,
                          const BindingTypeDescription* described, const TypeRegistry*) {
        int32_t v = 0;
        ConvertToEnum(result, v, input, path, described);
        if (result.ok) native = static_cast<T>(v);
    }
    static bool FromFlat(T& native, const BindingFlatValue& input, std::size_t, const BindingTypeDescription* described,
                         const TypeRegistry*) {
        BindingResult result;
        int32_t v = 0;
        ConvertToEnum(result, v, FlatScalar(input), {}, described);
        if (result.ok) native = static_cast<T>(v);
        return result.ok;
    }
    // By the enumerator's name where the registry knows it, else the number.
    static bool ToFlat(const T& native, const BindingTypeDescription*, const TypeRegistry* registry,
                       BindingFlatValue* out, std::size_t, bool& zero) {
        const auto number = static_cast<int32_t>(native);
        std::optional<std::string> name =
            registry != nullptr ? registry->EnumeratorName(&TypeIdOf<T>(), number) : std::nullopt;
        if (name) {
            FlatSetText(out, name->c_str());
        } else {
            FlatSetSigned(out, number);
        }
        zero = number == 0;
        return true;
    }
};

template <DescribedRecord T>
struct NativeShape<T> {
    static constexpr BindingType kType = BindingType::Struct;
    static constexpr BindingType kElementType = BindingType::None;
    static const BindingTypeDescription* Describe(const TypeRegistry* registry) {
        return registry != nullptr ? registry->FindByIdentifier(&TypeIdOf<T>()) : nullptr;
    }
    static void ToValue(BindingResult& result, BindingProperty& target, const T& native,
                        const BindingTypeDescription* described) {
        StructToValue(result, target, &native, described);
    }
    static void FromValue(BindingResult& result, T& native, const BindingProperty& input, std::string_view path,
                          const BindingTypeDescription* described, const TypeRegistry* registry) {
        ValueToStruct(result, &native, input, path, described, registry);
    }
    static bool FromFlat(T& native, const BindingFlatValue& input, std::size_t depth,
                         const BindingTypeDescription* described, const TypeRegistry* registry) {
        return FlatToStruct(&native, input, depth, described, registry);
    }
    static bool ToFlat(const T& native, const BindingTypeDescription* described, const TypeRegistry* registry,
                       BindingFlatValue* out, std::size_t depth, bool& zero) {
        const bool written = StructToFlat(&native, described, registry, out, depth);
        zero = written && out->payload.structure.count == 0;
        return written;
    }
};

template <typename E>
struct NativeShape<std::vector<E>, std::enable_if_t<!std::is_same_v<E, uint8_t>>> {
    static constexpr BindingType kType = BindingType::Vector;
    static constexpr BindingType kElementType = NativeShape<E>::kType;
    static const BindingTypeDescription* Describe(const TypeRegistry* registry) {
        return NativeShape<E>::Describe(registry);
    }
    static void ToValue(BindingResult& result, BindingProperty& target, const std::vector<E>& native,
                        const BindingTypeDescription* described) {
        if (!result.ok) return;
        target.MakeCollection();
        target.Reserve(native.size());
        for (const E& element : native) {
            NativeShape<E>::ToValue(result, target.AppendElement(), element, described);
            if (!result.ok) return;
        }
    }
    static void FromValue(BindingResult& result, std::vector<E>& native, const BindingProperty& input,
                          std::string_view path, const BindingTypeDescription* described,
                          const TypeRegistry* registry) {
        native.clear();
        if (!result.ok) return;
        if (input.Kind() != BindingKind::Collection) return FailNotACollection(result, path);
        auto elements = input.Elements();
        native.resize(elements.size());
        // Every element reports under the list's own path; empty ones keep
        // their default.
        for (std::size_t i = 0; i < elements.size() && result.ok; ++i) {
            if (!elements[i].IsEmpty()) {
                NativeShape<E>::FromValue(result, native[i], elements[i], path, described, registry);
            }
        }
    }
    static bool FromFlat(std::vector<E>& native, const BindingFlatValue& input, std::size_t depth,
                         const BindingTypeDescription* described, const TypeRegistry* registry) {
        native.clear();
        uint32_t count = 0;
        if (input.kind != kFlatCollection || !FlatContainerCount(input, depth, count)) return false;
        native.resize(count);
        [[maybe_unused]] FlatFieldHint hint;
        for (uint32_t i = 0; i < count; ++i) {
            const BindingFlatValue& element = input.payload.collection.items[i];
            if (element.kind == kFlatEmpty) continue;  // keeps its default, as an empty element does
            bool converted = false;
            if constexpr (DescribedRecord<E>) {
                converted = FlatToStruct(&native[i], element, depth + 1, described, registry, &hint);
            } else {
                converted = NativeShape<E>::FromFlat(native[i], element, depth + 1, described, registry);
            }
            if (!converted) return false;
        }
        return true;
    }
    static bool ToFlat(const std::vector<E>& native, const BindingTypeDescription* described,
                       const TypeRegistry* registry, BindingFlatValue* out, std::size_t depth, bool& zero) {
        ReleaseFlatValue(out);
        zero = native.empty();
        if (depth >= kMaxNestingDepth || native.size() > BindingProperty::kMaxElements) return false;
        const auto count = static_cast<uint32_t>(native.size());
        BindingFlatValue* items = NewFlatItems(count);
        FlatSetCollection(out, items, count);
        for (uint32_t i = 0; i < count; ++i) {
            bool elementZero = false;
            if (!NativeShape<E>::ToFlat(native[i], described, registry, &items[i], depth + 1, elementZero)) {
                return false;
            }
        }
        return true;
    }
};

template <typename Map>
struct StringMapShape {
    using Mapped = typename Map::mapped_type;
    static constexpr BindingType kType = BindingType::Map;
    static constexpr BindingType kElementType = NativeShape<Mapped>::kType;
    static const BindingTypeDescription* Describe(const TypeRegistry* registry) {
        return NativeShape<Mapped>::Describe(registry);
    }
    static void ToValue(BindingResult& result, BindingProperty& target, const Map& native,
                        const BindingTypeDescription* described) {
        if (!result.ok) return;
        target.MakeStructure();
        for (const auto& [key, mapped] : native) {
            NativeShape<Mapped>::ToValue(result, target.Member(key), mapped, described);
            if (!result.ok) return;
        }
    }
    static void FromValue(BindingResult& result, Map& native, const BindingProperty& input, std::string_view path,
                          const BindingTypeDescription* described, const TypeRegistry* registry) {
        native.clear();
        if (!result.ok) return;
        if (input.Kind() != BindingKind::Structure) return FailNotAStructureForMap(result, path);
        if constexpr (requires { native.reserve(std::size_t{}); }) native.reserve(input.Count());
        for (const auto& [key, member] : *input.StructureMembers()) {
            if (member.IsEmpty()) continue;
            NativeShape<Mapped>::FromValue(result, native[std::string(key->View())], member, path, described, registry);
            if (!result.ok) return;
        }
    }
    static bool FromFlat(Map& native, const BindingFlatValue& input, std::size_t depth,
                         const BindingTypeDescription* described, const TypeRegistry* registry) {
        native.clear();
        uint32_t count = 0;
        if (input.kind != kFlatStructure || !FlatContainerCount(input, depth, count)) return false;
        const BindingFlatMember* members = input.payload.structure.members;
        auto nameOf = [members](uint32_t i) { return members[i].name != nullptr ? members[i].name : ""; };
        // Entries go in in name order, as from a tree's members, so that even
        // an unordered map is left as the two steps leave it.
        std::vector<uint32_t> order(count);
        for (uint32_t i = 0; i < count; ++i) order[i] = i;
        std::sort(order.begin(), order.end(),
                  [&nameOf](uint32_t a, uint32_t b) { return std::strcmp(nameOf(a), nameOf(b)) < 0; });
        if constexpr (requires { native.reserve(std::size_t{}); }) native.reserve(count);
        for (uint32_t i : order) {
            const BindingFlatValue value = LoadMemberValue(members[i]);
            // A name given twice merges or replaces in a tree, an empty
            // member may erase an earlier one: the general rules decide.
            if (value.kind == kFlatEmpty) return false;
            auto [entry, added] = native.try_emplace(std::string(nameOf(i)));
            if (!added) return false;
            if (!NativeShape<Mapped>::FromFlat(entry->second, value, depth + 1, described, registry)) return false;
        }
        return true;
    }
    static bool ToFlat(const Map& native, const BindingTypeDescription* described, const TypeRegistry* registry,
                       BindingFlatValue* out, std::size_t depth, bool& zero) {
        ReleaseFlatValue(out);
        zero = native.empty();
        if (depth >= kMaxNestingDepth || native.size() > BindingProperty::kMaxElements) return false;
        // Members in name order, as a tree keeps them; a key with a NUL may
        // be one member with another in a tree: the general rules decide.
        std::vector<const typename Map::value_type*> entries;
        entries.reserve(native.size());
        for (const auto& entry : native) {
            if (entry.first.find('\0') != std::string::npos) return false;
            entries.push_back(&entry);
        }
        if constexpr (!std::is_same_v<Map, std::map<std::string, Mapped>>) {
            std::sort(entries.begin(), entries.end(), [](const auto* a, const auto* b) { return a->first < b->first; });
        }
        const auto count = static_cast<uint32_t>(entries.size());
        BindingFlatMember* members = NewFlatMembers(count);
        FlatSetStructure(out, members, count);
        for (uint32_t i = 0; i < count; ++i) {
            members[i].name = DuplicateText(entries[i]->first.c_str());
            if (members[i].name == nullptr) throw std::bad_alloc();
            members[i].ownsName = 1;
            BindingFlatValue value{};
            bool valueZero = false;
            const bool written =
                NativeShape<Mapped>::ToFlat(entries[i]->second, described, registry, &value, depth + 1, valueZero);
            StoreMemberValue(members[i], value);  // also when it failed: released with the rest
            if (!written) return false;
        }
        return true;
    }
};

template <typename E>
struct NativeShape<std::map<std::string, E>> : StringMapShape<std::map<std::string, E>> {};
template <typename E>
struct NativeShape<std::unordered_map<std::string, E>> : StringMapShape<std::unordered_map<std::string, E>> {};

// The conversion operations of a member of type T, as the registry keeps them.
template <typename T>
struct MemberConversionOf {
    static void ToValue(BindingResult& result, BindingProperty& target, const void* native,
                        const BindingTypeDescription* described) {
        NativeShape<T>::ToValue(result, target, *static_cast<const T*>(native), described);
    }
    static void FromValue(BindingResult& result, void* native, const BindingProperty& input, std::string_view path,
                          const BindingTypeDescription* described, const TypeRegistry* registry) {
        NativeShape<T>::FromValue(result, *static_cast<T*>(native), input, path, described, registry);
    }
    static bool FromFlat(void* native, const BindingFlatValue& input, std::size_t depth,
                         const BindingTypeDescription* described, const TypeRegistry* registry) {
        return NativeShape<T>::FromFlat(*static_cast<T*>(native), input, depth, described, registry);
    }
    static bool ToFlat(const void* native, const BindingTypeDescription* described, const TypeRegistry* registry,
                       BindingFlatValue* out, std::size_t depth, bool* zero) {
        return NativeShape<T>::ToFlat(*static_cast<const T*>(native), described, registry, out, depth, *zero);
    }
    static constexpr MemberConversion kOperations{&ToValue, &FromValue, &FromFlat, &ToFlat};
};

template <typename T>
TypeRef TypeRefOf(const TypeRegistry* registry) {
    return TypeRef{NativeShape<T>::kType, NativeShape<T>::kElementType, NativeShape<T>::Describe(registry)};
}

// Registers a described record or enumeration under prefix + its name and
// returns its description (the earlier one when the name was registered).
template <Described T>
const BindingTypeDescription* RegisterBindingType(TypeRegistry& registry, std::string_view prefix = {}) {
    using D = BindingDescriptor<T>;
    const std::string name = std::string(prefix) + D::kName;
    TypeBuilder builder = registry.BeginType(name, sizeof(T), &TypeIdOf<T>(), DescribedEnum<T>);
    if (builder.IsInert()) return registry.FindByName(name);
    if constexpr (DescribedEnum<T>) {
        for (const BindingEnumeratorSpec& e : D::kEnumerators) builder.AddEnumerator(e.name, e.number, e.description);
    } else {
        // Offsets are measured on a real object, so no layout is assumed.
        const T sample{};
        const auto* base = reinterpret_cast<const char*>(&sample);
        std::apply(
            [&](const auto&... field) {
                (builder.AddMember(
                     field.name,
                     static_cast<uint32_t>(reinterpret_cast<const char*>(&(sample.*(field.member))) - base),
                     TypeRefOf<std::remove_cvref_t<decltype(sample.*(field.member))>>(&registry),
                     &TypeIdOf<std::remove_cvref_t<decltype(sample.*(field.member))>>(),
                     &MemberConversionOf<std::remove_cvref_t<decltype(sample.*(field.member))>>::kOperations,
                     field.description, field.flags, field.optional),
                 ...);
            },
            D::kFields);
    }
    if constexpr (requires { D::kDescription; }) builder.SetDescription(D::kDescription);
    if constexpr (requires { D::kTags; }) {
        for (std::string_view tag : D::kTags) builder.AddTag(tag);
    }
    return builder.Description();
}

// Native to value: fills result.value.
template <typename T>
void NativeToValue(BindingResult& result, const T& native, const TypeRegistry* registry) {
    if (!result.ok) return;
    NativeShape<T>::ToValue(result, result.value, native, NativeShape<T>::Describe(registry));
}

// A host's flat value to native in one step (flat_to_native.h), `depth`
// levels down in the host's record: true when `native`, which must start as
// a fresh T{}, holds what ValueFromFlat and ValueToNative would give it;
// false, with `native` a fresh T{} again, where the caller must take those
// two steps (any failure, a name given twice, ...).
template <typename T>
bool FlatToNative(T& native, const BindingFlatValue& flat, const TypeRegistry* registry, std::size_t depth = 0) {
    bool converted = false;
    try {
        converted = NativeShape<T>::FromFlat(native, flat, depth, NativeShape<T>::Describe(registry), registry);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    if (!converted) native = T{};
    return converted;
}

// Native to a host's flat value in one step (native_to_flat.h): true when
// `out` (a released or zeroed one) holds what NativeToValue and then
// FlatFromValue would write; false, with `out` released, where the caller must
// take those two steps.
template <typename T>
bool NativeToFlat(const T& native, const TypeRegistry* registry, BindingFlatValue* out) {
    bool written = false;
    try {
        bool zero = false;
        written = NativeShape<T>::ToFlat(native, NativeShape<T>::Describe(registry), registry, out, 0, zero);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    if (!written) ReleaseFlatValue(out);
    return written;
}

// Value to native, naming the top-level place by `path` ("<value>",
// "result", ...).
template <typename T>
void ValueToNative(BindingResult& result, T& native, const BindingProperty& input, std::string_view path,
                   const TypeRegistry* registry) {
    NativeShape<T>::FromValue(result, native, input, path, NativeShape<T>::Describe(registry), registry);
}

}  // namespace Vorn

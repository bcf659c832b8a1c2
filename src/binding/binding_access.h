#pragma once
// The value's private parts for the binding layer's own code: the walks, the
// structure's slots, and the tree builder the readers use. Nothing outside
// src/binding includes this header.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "binding/binding_property.h"

namespace Vorn {

struct BindingPropertyAccess {
    using CollectionBody = BindingProperty::CollectionBody;
    using Members = BindingProperty::Members;
    using MemberSlot = BindingProperty::MemberSlot;

    static constexpr uint32_t kNotFound = UINT32_MAX;
    // Structures up to this size keep their slots in order by shifting them.
    static constexpr uint32_t kLargestInPlace = 32;
    // Unordered slots scanned before they are sorted into the order instead.
    static constexpr uint32_t kLongestScan = 32;

    static CollectionBody* EmptyCollection();
    static Members* EmptyMembers();
    static std::size_t CollectionBytes(std::size_t capacity) {
        return sizeof(CollectionBody) + capacity * sizeof(BindingProperty);
    }
    static void GrowCollection(BindingProperty& v, std::size_t needed, bool exact);

    static std::size_t MembersBytes(std::size_t capacity, bool trailer);
    static Members* NewMembers(ValueArena* arena, std::size_t capacity, bool trailer);
    static void FreeMembers(ValueArena* arena, Members* members);
    static void GrowMembers(BindingProperty& v, std::size_t capacity, bool trailer);
    static uint32_t LowerBound(const Members* members, const ValueArena* arena, uint32_t count, std::string_view name);
    static void ExtendOrder(Members* members);
    // The slot of the member named name, or kNotFound. key, when given, is
    // the name's entry (held), which lets unordered slots compare by id.
    static uint32_t Find(Members* members, std::string_view name, const InternedString* key);
    static BindingProperty& Insert(BindingProperty& v, InternedString* key, uint32_t at);
    static BindingProperty& FindOrInsert(BindingProperty& v, std::string_view name);

    static bool IsFilledContainer(const BindingProperty& value) {
        return (value.Kind() == BindingKind::Collection || value.Kind() == BindingKind::Structure) &&
               value.Count() != 0;
    }
    static void ResetDeep(BindingProperty& root);
    static bool CopyShallow(BindingProperty& target, const BindingProperty& source);
    static void CopyDeep(BindingProperty& target, const BindingProperty& source);
    static bool Equal(const BindingProperty& a, const BindingProperty& b);
};

}  // namespace Vorn

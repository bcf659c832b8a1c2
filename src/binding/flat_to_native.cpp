#include "binding/flat_to_native.h"

#include <cstring>
#include <string_view>

#include "binding/binding_limits.h"
#include "binding/flat_value.h"

namespace Vorn {

namespace {

constexpr std::size_t kNoField = static_cast<std::size_t>(-1);

// A member name against a field's name up to its first NUL, in the byte order
// the fields are sorted in; the member's name is read no further than its NUL.
int CompareName(const char* name, const BindingFieldDescription& field) {
    // Most names differ from a field's in their first byte: no call for those.
    const auto first = static_cast<unsigned char>(name[0]);
    const auto fieldFirst = field.lookupLength == 0 ? 0 : static_cast<unsigned char>(field.name[0]);
    if (first != fieldFirst) return first < fieldFirst ? -1 : 1;
    const int order = std::strncmp(name, field.name.data(), field.lookupLength);
    if (order != 0) return order;
    return name[field.lookupLength] == '\0' ? 0 : 1;
}

// Where the field of this name stands among the fields in name order, or
// kNoField. `guess` is tried first: members mostly come in name order, as a
// value keeps them, so the one after the last found is likely the next.
std::size_t FindFieldByName(const BindingTypeDescription& type, const char* name, std::size_t guess) {
    const auto& byName = type.membersByName;
    if (guess < byName.size() && CompareName(name, type.members[byName[guess]]) == 0) return guess;
    std::size_t low = 0;
    std::size_t high = byName.size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        const int order = CompareName(name, type.members[byName[middle]]);
        if (order == 0) return middle;
        if (order < 0) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return kNoField;
}

}  // namespace

bool FlatContainerCount(const BindingFlatValue& flat, std::size_t depth, uint32_t& count) {
    if (depth >= kMaxNestingDepth) return false;
    const bool structure = flat.kind == kFlatStructure;
    const void* array = structure ? static_cast<const void*>(flat.payload.structure.members)
                                  : static_cast<const void*>(flat.payload.collection.items);
    count = array == nullptr ? 0 : structure ? flat.payload.structure.count : flat.payload.collection.count;
    return count <= BindingProperty::kMaxElements;
}

bool FlatReadsCleanly(const BindingFlatValue& flat, std::size_t depth) {
    if (flat.kind == kFlatEmpty || IsFlatScalarKind(flat.kind)) return true;
    if (flat.kind != kFlatCollection && flat.kind != kFlatStructure) return false;
    uint32_t count = 0;
    if (!FlatContainerCount(flat, depth, count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
        const bool clean = flat.kind == kFlatCollection
                               ? FlatReadsCleanly(flat.payload.collection.items[i], depth + 1)
                               : FlatReadsCleanly(LoadMemberValue(flat.payload.structure.members[i]), depth + 1);
        if (!clean) return false;
    }
    return true;
}

bool FlatToStruct(void* native, const BindingFlatValue& flat, std::size_t depth, const BindingTypeDescription* type,
                  const TypeRegistry* registry, FlatFieldHint* hint) {
    if (type == nullptr || flat.kind != kFlatStructure) return false;
    uint32_t count = 0;
    if (!FlatContainerCount(flat, depth, count)) return false;
    const std::size_t fieldCount = type->members.size();
    // Which fields were named, and which of those held a value: one bit each.
    // Two fields of one name are left to the general rules.
    if (fieldCount > 64 || type->membersByName.size() != fieldCount || type->lookupNamesRepeat) return false;
    uint64_t named = 0;
    uint64_t filled = 0;
    std::size_t nextByName = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const BindingFlatMember& member = flat.payload.structure.members[i];
        const BindingFlatValue value = LoadMemberValue(member);
        const char* name = member.name != nullptr ? member.name : "";
        // Records of one list mostly name their members in one order.
        std::size_t index = kNoField;
        const bool hinted = hint != nullptr && i < FlatFieldHint::kMembers && hint->field[i] != 0;
        if (hinted && CompareName(name, type->members[hint->field[i] - 1]) == 0) {
            index = hint->field[i] - 1u;
        } else {
            const std::size_t at = FindFieldByName(*type, name, nextByName);
            index = at == kNoField ? kNoField : type->membersByName[at];
            if (at != kNoField) nextByName = at + 1;
            if (hint != nullptr && i < FlatFieldHint::kMembers) {
                hint->field[i] = index == kNoField ? 0 : static_cast<uint8_t>(index + 1);
            }
        }
        if (index == kNoField) {
            if (!FlatReadsCleanly(value, depth + 1)) return false;
            continue;
        }
        const uint64_t bit = uint64_t{1} << index;
        if ((named & bit) != 0) return false;  // a name given twice merges or replaces in a tree
        named |= bit;
        if (value.kind == kFlatEmpty) continue;  // an empty member reads as an absent one
        const BindingFieldDescription& field = type->members[index];
        if (!field.conversion->fromFlat(static_cast<char*>(native) + field.offset, value, depth + 1,
                                        field.typeRef.described, registry)) {
            return false;
        }
        filled |= bit;
    }
    uint64_t bit = 1;
    for (const BindingFieldDescription& field : type->members) {
        if ((field.flags & kFieldRequired) != 0 && (filled & bit) == 0) return false;
        bit <<= 1;
    }
    return true;
}

bool FlatToObject(BindingProperty& native, const BindingFlatValue& flat, std::size_t depth) {
    native.Reset();
    BindingFlatResult failure{};
    const bool ok = ValueFromFlat(flat, {}, native, &failure, depth);
    ReleaseFlatResult(&failure);
    return ok;
}

}  // namespace Vorn

#include "binding/native_to_flat.h"

#include <new>

#include "binding/binding_limits.h"
#include "binding/flat_value.h"
#include "support/memory_hooks.h"

namespace Vorn {

bool StructToFlat(const void* native, const BindingTypeDescription* type, const TypeRegistry* registry,
                  BindingFlatValue* out, std::size_t depth) {
    ReleaseFlatValue(out);
    if (type == nullptr || depth >= kMaxNestingDepth) return false;
    const std::size_t fieldCount = type->members.size();
    // Two fields of one name are one member of a tree: the general rules.
    if (type->membersByName.size() != fieldCount || type->lookupNamesRepeat) return false;
    BindingFlatMember* members = NewFlatMembers(static_cast<uint32_t>(fieldCount));
    FlatSetStructure(out, members, 0);
    uint32_t kept = 0;
    for (uint32_t index : type->membersByName) {
        const BindingFieldDescription& field = type->members[index];
        BindingFlatMember& member = members[kept];
        BindingFlatValue value{};
        bool zero = false;
        const bool written = field.conversion->toFlat(static_cast<const char*>(native) + field.offset,
                                                      field.typeRef.described, registry, &value, depth + 1, &zero);
        if (!written || ((field.flags & kFieldOmitZero) != 0 && zero)) {
            ReleaseFlatValue(&value);
            if (!written) return false;
            continue;
        }
        StoreMemberValue(member, value);
        ++out->payload.structure.count;  // counted before the name: released with the rest if that fails
        ++kept;
        member.name = DuplicateText(field.name.c_str());  // up to a NUL, as a tree's member name
        if (member.name == nullptr) throw std::bad_alloc();
        member.ownsName = 1;
    }
    return true;
}

}  // namespace Vorn

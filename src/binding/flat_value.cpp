#include "binding/flat_value.h"

#include <cstring>
#include <new>
#include <stdexcept>

#include "binding/binding_access.h"
#include "binding/binding_limits.h"
#include "support/memory_hooks.h"
#include "support/message_format.h"

namespace Vorn {

namespace {

constexpr const char* kIncompatibleType =
    "Couldn't assign value to '%1' of type object because the input is of an incompatible type '%2'.";
constexpr const char* kTooDeep = "Couldn't assign value to '%1' because its nesting is deeper than %2 levels.";
constexpr const char* kTooManyElements = "Couldn't assign value to '%1' because a collection of %2 elements is too large.";
constexpr const char* kTooManyMembers = "Couldn't assign value to '%1' because a structure of %2 members is too large.";
constexpr const char* kOutOfMemory = "Couldn't assign value to '%1' because memory is exhausted.";

// Host arrays of unknown true size are never reserved beyond this up front;
// larger ones grow as they are read.
constexpr uint32_t kReserveAtMost = 65536;

void Zero(BindingFlatValue* value) { std::memset(static_cast<void*>(value), 0, sizeof(*value)); }

void Fail(BindingFlatResult* result, const std::string& message) {
    if (result == nullptr) return;
    ReleaseFlatValue(&result->value);
    Free(result->message);
    result->message = DuplicateText(message.c_str());
    result->failed = 1;
}

bool FlatFromValueAt(const BindingProperty& value, const TypeRegistry* registry, BindingFlatValue* out,
                     std::size_t depth) {
    ReleaseFlatValue(out);
    switch (value.Kind()) {
        case BindingKind::Empty: return true;
        case BindingKind::Bool: FlatSetBool(out, value.AsBool()); return true;
        case BindingKind::Signed: FlatSetSigned(out, value.AsSigned()); return true;
        case BindingKind::Unsigned: FlatSetUnsigned(out, value.AsUnsigned()); return true;
        case BindingKind::Float: FlatSetFloat(out, value.AsDouble()); return true;
        case BindingKind::String: FlatSetText(out, value.AsCString()); return true;
        case BindingKind::Blob: FlatSetBytes(out, value.AsBlob().data(), value.AsBlob().size()); return true;
        case BindingKind::Enum: {
            const BindingEnum e = value.AsEnum();
            std::optional<std::string> name = registry != nullptr ? registry->EnumeratorName(e.type, e.value) : std::nullopt;
            if (name) {
                FlatSetText(out, name->c_str());
            } else {
                FlatSetSigned(out, e.value);
            }
            return true;
        }
        case BindingKind::Collection: {
            if (depth >= kMaxNestingDepth) return false;
            auto elements = value.Elements();
            BindingFlatValue* items = NewFlatItems(static_cast<uint32_t>(elements.size()));
            FlatSetCollection(out, items, static_cast<uint32_t>(elements.size()));
            for (std::size_t i = 0; i < elements.size(); ++i) {
                if (!FlatFromValueAt(elements[i], registry, &items[i], depth + 1)) return false;
            }
            return true;
        }
        case BindingKind::Structure: {
            if (depth >= kMaxNestingDepth) return false;
            const auto& members = *value.StructureMembers();
            BindingFlatMember* flat = NewFlatMembers(static_cast<uint32_t>(members.size()));
            FlatSetStructure(out, flat, static_cast<uint32_t>(members.size()));
            std::size_t i = 0;
            for (const auto& [key, member] : members) {
                // A name that cannot be copied fails the whole value: a member
                // handed out with a null name would read as "".
                flat[i].name = DuplicateText(key->Text());
                if (flat[i].name == nullptr) throw std::bad_alloc();
                flat[i].ownsName = 1;
                BindingFlatValue converted{};
                const bool ok = FlatFromValueAt(member, registry, &converted, depth + 1);
                StoreMemberValue(flat[i], converted);  // also when it failed: released with the rest
                if (!ok) return false;
                ++i;
            }
            return true;
        }
    }
    return true;  // unknown value kinds stay empty
}

bool ValueFromFlatAt(const BindingFlatValue& flat, std::string_view path, BindingProperty& out,
                     BindingFlatResult* result, std::size_t depth) {
    switch (flat.kind) {
        case kFlatEmpty: out.Reset(); return true;
        case kFlatBool: out.SetBool(flat.payload.boolean != 0); return true;
        case kFlatSigned: out.SetSigned(flat.payload.i); return true;
        case kFlatUnsigned: out.SetUnsigned(flat.payload.u); return true;
        case kFlatFloat: out.SetDouble(flat.payload.d); return true;
        case kFlatBorrowedString:
        case kFlatOwnedString: out.SetString(flat.payload.string.text); return true;  // null reads as ""
        case kFlatBorrowedBlob:
        case kFlatOwnedBlob:
            out.SetBlob(flat.payload.blob.data, flat.payload.blob.data != nullptr ? flat.payload.blob.length : 0);
            return true;
        case kFlatCollection: {
            if (depth >= kMaxNestingDepth) {
                Fail(result, FormatMessage(kTooDeep, {path, kMaxNestingDepth}));
                return false;
            }
            const uint32_t count = flat.payload.collection.items != nullptr ? flat.payload.collection.count : 0;
            if (count > BindingProperty::kMaxElements) {
                Fail(result, FormatMessage(kTooManyElements, {path, count}));
                return false;
            }
            out.MakeCollection();
            out.Reserve(count < kReserveAtMost ? count : kReserveAtMost);
            for (uint32_t i = 0; i < count; ++i) {
                if (!ValueFromFlatAt(flat.payload.collection.items[i], path, out.Element(i), result, depth + 1)) {
                    return false;
                }
            }
            return true;
        }
        case kFlatStructure: {
            if (depth >= kMaxNestingDepth) {
                Fail(result, FormatMessage(kTooDeep, {path, kMaxNestingDepth}));
                return false;
            }
            const uint32_t count = flat.payload.structure.members != nullptr ? flat.payload.structure.count : 0;
            // Held to the collections' bound: no array behind a larger count
            // fits the host's address space, and walking it would read far
            // past the host's records.
            if (count > BindingProperty::kMaxElements) {
                Fail(result, FormatMessage(kTooManyMembers, {path, count}));
                return false;
            }
            out.MakeStructure();
            // Room for the members at once rather than growing four, eight,
            // sixteen...; no more than a structure keeps in order in place,
            // whatever the count claims.
            if (out.Count() == 0 && count != 0) {
                BindingPropertyAccess::GrowMembers(
                    out, count < BindingPropertyAccess::kLargestInPlace ? count : BindingPropertyAccess::kLargestInPlace,
                    false);
            }
            for (uint32_t i = 0; i < count; ++i) {
                const BindingFlatMember& member = flat.payload.structure.members[i];
                BindingProperty& target = out.Member(member.name != nullptr ? member.name : "");
                if (!ValueFromFlatAt(LoadMemberValue(member), path, target, result, depth + 1)) return false;
            }
            return true;
        }
        default:
            Fail(result, FormatMessage(kIncompatibleType, {path, FlatKindName(flat.kind)}));
            return false;
    }
}

}  // namespace

BindingFlatValue LoadMemberValue(const BindingFlatMember& member) {
    BindingFlatValue value;
    std::memcpy(static_cast<void*>(&value), reinterpret_cast<const char*>(&member) + offsetof(BindingFlatMember, value),
                sizeof(value));
    return value;
}

void StoreMemberValue(BindingFlatMember& member, const BindingFlatValue& value) {
    std::memcpy(reinterpret_cast<char*>(&member) + offsetof(BindingFlatMember, value), static_cast<const void*>(&value),
                sizeof(value));
}

const char* FlatKindName(int32_t kind) {
    switch (kind) {
        case kFlatBool: return "bool";
        case kFlatSigned: return "signed";
        case kFlatUnsigned: return "unsigned";
        case kFlatFloat: return "float";
        case kFlatBorrowedString:
        case kFlatOwnedString: return "string";
        case kFlatBorrowedBlob:
        case kFlatOwnedBlob: return "blob";
        case kFlatCollection: return "collection";
        case kFlatStructure: return "structure";
        default: return "";
    }
}

void ReleaseFlatValue(BindingFlatValue* value) {
    if (value == nullptr) return;
    switch (value->kind) {
        case kFlatOwnedString: Free(const_cast<char*>(value->payload.string.text)); break;
        case kFlatOwnedBlob: Free(const_cast<uint8_t*>(value->payload.blob.data)); break;
        case kFlatCollection:
            if (value->payload.collection.items != nullptr) {
                for (uint32_t i = 0; i < value->payload.collection.count; ++i) {
                    ReleaseFlatValue(&value->payload.collection.items[i]);
                }
            }
            Free(value->payload.collection.items);
            break;
        case kFlatStructure:
            if (value->payload.structure.members != nullptr) {
                for (uint32_t i = 0; i < value->payload.structure.count; ++i) {
                    BindingFlatMember& member = value->payload.structure.members[i];
                    if (member.ownsName != 0) Free(const_cast<char*>(member.name));
                    BindingFlatValue value = LoadMemberValue(member);
                    ReleaseFlatValue(&value);
                    StoreMemberValue(member, value);
                }
            }
            Free(value->payload.structure.members);
            break;
        default: break;
    }
    Zero(value);
}

void ReleaseFlatResult(BindingFlatResult* result) {
    if (result == nullptr) return;
    ReleaseFlatValue(&result->value);
    Free(result->message);
    result->message = nullptr;
    result->failed = 0;
}

void FlatSetBool(BindingFlatValue* value, bool b) {
    ReleaseFlatValue(value);
    value->kind = kFlatBool;
    value->payload.boolean = b ? 1 : 0;
}

void FlatSetSigned(BindingFlatValue* value, int64_t n) {
    ReleaseFlatValue(value);
    value->kind = kFlatSigned;
    value->payload.i = n;
}

void FlatSetUnsigned(BindingFlatValue* value, uint64_t n) {
    ReleaseFlatValue(value);
    value->kind = kFlatUnsigned;
    value->payload.u = n;
}

void FlatSetFloat(BindingFlatValue* value, double d) {
    ReleaseFlatValue(value);
    value->kind = kFlatFloat;
    value->payload.d = d;
}

void FlatSetText(BindingFlatValue* value, const char* text) {
    ReleaseFlatValue(value);
    char* copy = DuplicateText(text != nullptr ? text : "");
    if (copy == nullptr) throw std::bad_alloc();
    value->kind = kFlatOwnedString;
    value->payload.string.text = copy;
    value->payload.string.length = static_cast<uint32_t>(std::strlen(copy));
}

void FlatSetBytes(BindingFlatValue* value, const void* data, std::size_t length) {
    ReleaseFlatValue(value);
    if (length > UINT32_MAX) throw std::length_error("blob too large for a flat value");
    auto* copy = static_cast<uint8_t*>(Allocate(length == 0 ? 1 : length));
    if (copy == nullptr) throw std::bad_alloc();
    if (length != 0) std::memcpy(copy, data, length);
    value->kind = kFlatOwnedBlob;
    value->payload.blob.data = copy;
    value->payload.blob.length = static_cast<uint32_t>(length);
}

namespace {

template <typename T>
T* NewZeroed(uint32_t count) {
    const std::size_t bytes = std::size_t{count} * sizeof(T);
    auto* array = static_cast<T*>(Allocate(bytes == 0 ? 1 : bytes));
    if (array == nullptr) throw std::bad_alloc();
    std::memset(static_cast<void*>(array), 0, bytes);
    return array;
}

}  // namespace

BindingFlatValue* NewFlatItems(uint32_t count) { return NewZeroed<BindingFlatValue>(count); }
BindingFlatMember* NewFlatMembers(uint32_t count) { return NewZeroed<BindingFlatMember>(count); }

void FlatSetCollection(BindingFlatValue* value, BindingFlatValue* items, uint32_t count) {
    ReleaseFlatValue(value);
    value->kind = kFlatCollection;
    value->payload.collection.items = items;
    value->payload.collection.count = count;
}

void FlatSetStructure(BindingFlatValue* value, BindingFlatMember* members, uint32_t count) {
    ReleaseFlatValue(value);
    value->kind = kFlatStructure;
    value->payload.structure.members = members;
    value->payload.structure.count = count;
}

bool FlatFromValue(const BindingProperty& value, const TypeRegistry* registry, BindingFlatValue* out) {
    return FlatFromValueAt(value, registry, out, 0);
}

bool FlatFromValue(const BindingProperty& value, const TypeRegistry* registry, BindingFlatValue* out,
                   std::size_t depth) {
    return FlatFromValueAt(value, registry, out, depth);
}

bool FlatValuesEqual(const BindingFlatValue& a, const BindingFlatValue& b) {
    if (a.kind != b.kind) return false;
    switch (a.kind) {
        case kFlatBool: return (a.payload.boolean != 0) == (b.payload.boolean != 0);
        case kFlatSigned:
        case kFlatUnsigned:
        case kFlatFloat: return a.payload.u == b.payload.u;  // bit for bit: NaNs compare
        case kFlatBorrowedString:
        case kFlatOwnedString:
            return std::strcmp(a.payload.string.text != nullptr ? a.payload.string.text : "",
                               b.payload.string.text != nullptr ? b.payload.string.text : "") == 0;
        case kFlatBorrowedBlob:
        case kFlatOwnedBlob: {
            const uint32_t length = a.payload.blob.data != nullptr ? a.payload.blob.length : 0;
            if (length != (b.payload.blob.data != nullptr ? b.payload.blob.length : 0)) return false;
            return length == 0 || std::memcmp(a.payload.blob.data, b.payload.blob.data, length) == 0;
        }
        case kFlatCollection: {
            const uint32_t count = a.payload.collection.items != nullptr ? a.payload.collection.count : 0;
            if (count != (b.payload.collection.items != nullptr ? b.payload.collection.count : 0)) return false;
            for (uint32_t i = 0; i < count; ++i) {
                if (!FlatValuesEqual(a.payload.collection.items[i], b.payload.collection.items[i])) return false;
            }
            return true;
        }
        case kFlatStructure: {
            const uint32_t count = a.payload.structure.members != nullptr ? a.payload.structure.count : 0;
            if (count != (b.payload.structure.members != nullptr ? b.payload.structure.count : 0)) return false;
            for (uint32_t i = 0; i < count; ++i) {
                const BindingFlatMember& x = a.payload.structure.members[i];
                const BindingFlatMember& y = b.payload.structure.members[i];
                if ((x.ownsName != 0) != (y.ownsName != 0) ||
                    std::strcmp(x.name != nullptr ? x.name : "", y.name != nullptr ? y.name : "") != 0 ||
                    !FlatValuesEqual(LoadMemberValue(x), LoadMemberValue(y))) {
                    return false;
                }
            }
            return true;
        }
        default: return true;
    }
}

bool ValueFromFlat(const BindingFlatValue& flat, std::string_view path, BindingProperty& out,
                   BindingFlatResult* result) {
    return ValueFromFlat(flat, path, out, result, 0);
}

bool ValueFromFlat(const BindingFlatValue& flat, std::string_view path, BindingProperty& out,
                   BindingFlatResult* result, std::size_t depth) {
    // Host data must never make an exception escape into the host.
    try {
        return ValueFromFlatAt(flat, path, out, result, depth);
    } catch (const std::bad_alloc&) {
        Fail(result, FormatMessage(kOutOfMemory, {path}));
    } catch (const std::length_error&) {
        Fail(result, FormatMessage(kTooManyElements, {path, flat.payload.collection.count}));
    }
    return false;
}

}  // namespace Vorn

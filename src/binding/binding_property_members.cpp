#include "binding/binding_property.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "binding/binding_access.h"

namespace Vorn {

// A structure's members: each name once, visited in byte order of the names;
// small structures keep their slots in order by shifting them, large ones
// keep an order beside the slots.

namespace {

// Byte order, unsigned; words are compared most significant byte first, so
// short names need no call.
int CompareNames(std::string_view a, std::string_view b) {
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    std::size_t i = 0;
    for (; i + 8 <= common; i += 8) {
        uint64_t x;
        uint64_t y;
        std::memcpy(&x, a.data() + i, sizeof(x));
        std::memcpy(&y, b.data() + i, sizeof(y));
        if (x != y) return __builtin_bswap64(x) < __builtin_bswap64(y) ? -1 : 1;
    }
    for (; i < common; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

}  // namespace

std::size_t BindingPropertyAccess::MembersBytes(std::size_t capacity, bool trailer) {
    return sizeof(Members) + capacity * sizeof(MemberSlot) + (trailer ? sizeof(Members::Trailer) : 0);
}

void BindingPropertyAccess::FreeMembers(ValueArena* arena, Members* members) {
    if (members->capacity_ == 0) return;  // the shared empty one
    if (members->trailer_) {
        Members::Trailer* trailer = members->GetTrailer();
        if (trailer->order != nullptr) arena->Free(trailer->order, members->capacity_ * sizeof(uint32_t));
    }
    arena->Free(members, MembersBytes(members->capacity_, members->trailer_));
}

BindingProperty::Members* BindingPropertyAccess::NewMembers(ValueArena* arena, std::size_t capacity, bool trailer) {
    if (capacity > BindingProperty::kMaxElements) throw std::length_error("structure too large");
    auto* members = new (arena->Allocate(MembersBytes(capacity, trailer))) Members();
    members->capacity_ = static_cast<uint32_t>(capacity);
    members->trailer_ = trailer ? 1 : 0;
    if (trailer) *members->GetTrailer() = Members::Trailer{0, 0, nullptr};
    return members;
}

void BindingPropertyAccess::GrowMembers(BindingProperty& v, std::size_t capacity, bool trailer) {
    Members* old = v.payload_.structure;
    Members* grown = NewMembers(v.arena_, capacity, trailer);
    grown->size_ = old->size_;
    if (old->size_ != 0) std::memcpy(static_cast<void*>(grown->Slots()), old->Slots(), old->size_ * sizeof(MemberSlot));
    if (trailer) grown->GetTrailer()->sorted = old->trailer_ ? old->GetTrailer()->sorted : old->size_;
    FreeMembers(v.arena_, old);
    v.payload_.structure = grown;
}

uint32_t BindingPropertyAccess::LowerBound(const Members* members, const ValueArena* arena, uint32_t count,
                                           std::string_view name) {
    const MemberSlot* slots = members->Slots();
    uint32_t low = 0;
    uint32_t high = count;
    while (low < high) {
        const uint32_t middle = low + (high - low) / 2;
        if (arena->StringAt(slots[middle].Key())->View() < name) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

void BindingPropertyAccess::ExtendOrder(Members* members) {
    Members::Trailer* trailer = members->GetTrailer();
    const MemberSlot* slots = members->Slots();
    const ValueArena* arena = slots[0].value.arena_;
    const uint32_t size = members->size_;
    const uint32_t covered = trailer->order != nullptr ? trailer->ordered : trailer->sorted;
    auto nameOf = [&](uint32_t slot) { return arena->StringAt(slots[slot].Key())->View(); };
    auto* order = static_cast<uint32_t*>(slots[0].value.arena_->Allocate(members->capacity_ * sizeof(uint32_t)));
    // The new slots sorted by name after the covered ones, then the two runs merged.
    for (uint32_t i = covered; i < size; ++i) order[i] = i;
    std::sort(order + covered, order + size, [&](uint32_t a, uint32_t b) { return nameOf(a) < nameOf(b); });
    if (trailer->order != nullptr) {
        std::memcpy(order, trailer->order, covered * sizeof(uint32_t));
        slots[0].value.arena_->Free(trailer->order, members->capacity_ * sizeof(uint32_t));
    } else {
        for (uint32_t i = 0; i < covered; ++i) order[i] = i;
    }
    std::inplace_merge(order, order + covered, order + size,
                       [&](uint32_t a, uint32_t b) { return nameOf(a) < nameOf(b); });
    trailer->order = order;
    trailer->ordered = size;
}

void BindingProperty::EnsureOrdered(Members* members) {
    if (members->InOrder()) return;
    const Members::Trailer* trailer = members->GetTrailer();
    if (trailer->order != nullptr && trailer->ordered == members->size_) return;
    BindingPropertyAccess::ExtendOrder(members);
}

uint32_t BindingPropertyAccess::Find(Members* members, std::string_view name, const InternedString* key) {
    const uint32_t size = members->size_;
    if (size == 0) return kNotFound;
    const MemberSlot* slots = members->Slots();
    const ValueArena* arena = slots[0].value.arena_;
    if (members->InOrder()) {
        const uint32_t at = LowerBound(members, arena, size, name);
        return at != size && arena->StringAt(slots[at].Key())->View() == name ? at : kNotFound;
    }
    Members::Trailer* trailer = members->GetTrailer();
    uint32_t covered = trailer->order != nullptr ? trailer->ordered : trailer->sorted;
    // A long tail is sorted into the order rather than scanned again and again.
    if (size - covered > kLongestScan) {
        ExtendOrder(members);
        covered = size;
    }
    if (trailer->order != nullptr) {
        const uint32_t* order = trailer->order;
        uint32_t low = 0;
        uint32_t high = covered;
        while (low < high) {
            const uint32_t middle = low + (high - low) / 2;
            if (arena->StringAt(slots[order[middle]].Key())->View() < name) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        if (low != covered && arena->StringAt(slots[order[low]].Key())->View() == name) return order[low];
    } else {
        const uint32_t at = LowerBound(members, arena, covered, name);
        if (at != covered && arena->StringAt(slots[at].Key())->View() == name) return at;
    }
    for (uint32_t i = covered; i < size; ++i) {
        if (key != nullptr) {
            if (slots[i].Key() == key->id) return i;
        } else if (arena->StringAt(slots[i].Key())->View() == name) {
            return i;
        }
    }
    return kNotFound;
}

BindingProperty& BindingPropertyAccess::Insert(BindingProperty& v, InternedString* key, uint32_t at) {
    Members* members = v.payload_.structure;
    const uint32_t size = members->size_;
    const bool inOrder = members->InOrder();
    // at is the place in name order when the slots are in order, else size.
    const bool appendInOrder = inOrder && at == size;
    if (!members->trailer_ && !appendInOrder && size >= kLargestInPlace) {
        // Too large to shift for every insertion: from now on, a tail.
        GrowMembers(v, size + size / 2 + 1, true);
    } else if (size == members->capacity_) {
        const std::size_t capacity = size < 4 ? 4 : size < kLargestInPlace ? std::min<std::size_t>(size * 2, kLargestInPlace)
                                                                          : size + size / 2;
        GrowMembers(v, capacity, members->trailer_ || capacity > kLargestInPlace);
    }
    members = v.payload_.structure;
    MemberSlot* slots = members->Slots();
    uint32_t place = size;
    if (!members->trailer_) {
        place = at;
        if (place != size) std::memmove(static_cast<void*>(slots + place + 1), slots + place, (size - place) * sizeof(MemberSlot));
    } else {
        Members::Trailer* trailer = members->GetTrailer();
        if (appendInOrder) {
            if (trailer->order != nullptr && trailer->ordered == size) trailer->order[trailer->ordered++] = size;
            ++trailer->sorted;
        }
    }
    new (&slots[place].value) BindingProperty(BindingProperty::ChildTag{}, v.arena_);
    slots[place].SetKey(key->id);
    members->size_ = size + 1;
    return slots[place].value;
}

BindingProperty& BindingPropertyAccess::FindOrInsert(BindingProperty& v, std::string_view name) {
    Members* members = v.payload_.structure;
    ValueArena* arena = v.arena_;
    const uint32_t size = members->size_;
    const bool inOrder = members->InOrder();
    uint32_t at = size;
    if (size != 0 && inOrder) {
        MemberSlot* slots = members->Slots();
        const int order = CompareNames(arena->StringAt(slots[size - 1].Key())->View(), name);
        if (order == 0) return slots[size - 1].value;
        // Names arriving in order (decoders, copies) go straight to the end.
        if (order > 0) {
            at = LowerBound(members, arena, size - 1, name);
            if (arena->StringAt(slots[at].Key())->View() == name) return slots[at].value;
        }
    }
    bool fresh = false;
    InternedString* key = arena->HintedName(size, name);
    if (key == nullptr) {
        key = arena->Intern(name, &fresh);
        arena->RememberName(size, key);
    }
    // A name new to the tree names no member yet.
    if (!inOrder && !fresh) {
        const uint32_t found = Find(members, name, key);
        if (found != kNotFound) {
            arena->Release(key);
            return members->Slots()[found].value;
        }
    }
    try {
        return Insert(v, key, at);
    } catch (...) {
        arena->Release(key);
        throw;
    }
}

}  // namespace Vorn

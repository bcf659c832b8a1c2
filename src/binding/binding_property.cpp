#include "binding/binding_property.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "binding/binding_access.h"

namespace Vorn {

namespace {

std::string_view UpToNul(std::string_view name) {
    // Names are short: a word at a time, without a call.
    const char* p = name.data();
    std::size_t i = 0;
    for (; i + 8 <= name.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, p + i, sizeof(word));
        if (((word - 0x0101010101010101ull) & ~word & 0x8080808080808080ull) != 0) break;
    }
    for (; i < name.size(); ++i) {
        if (p[i] == '\0') return name.substr(0, i);
    }
    return name;
}

bool IsFilledContainer(const BindingProperty& value) {
    return (value.Kind() == BindingKind::Collection || value.Kind() == BindingKind::Structure) && value.Count() != 0;
}

// Every empty collection and structure points here; nothing writes to them.
BindingPropertyAccess::CollectionBody g_emptyCollection{0, 0};
BindingProperty::Members g_emptyMembers;

}  // namespace

BindingPropertyAccess::CollectionBody* BindingPropertyAccess::EmptyCollection() { return &g_emptyCollection; }
BindingProperty::Members* BindingPropertyAccess::EmptyMembers() { return &g_emptyMembers; }

void BindingPropertyAccess::GrowCollection(BindingProperty& v, std::size_t needed, bool exact) {
    CollectionBody* body = v.payload_.collection;
    if (needed <= body->capacity) return;
    std::size_t capacity = needed;
    if (!exact) {
        // Grow by half the size, at least to what is needed.
        std::size_t grown = std::size_t{body->size} + body->size / 2;
        if (grown > capacity) capacity = grown;
        if (capacity > BindingProperty::kMaxElements) capacity = BindingProperty::kMaxElements;
    }
    auto* grownBody = static_cast<CollectionBody*>(v.arena_->Allocate(CollectionBytes(capacity)));
    grownBody->size = body->size;
    grownBody->capacity = static_cast<uint32_t>(capacity);
    // Values hold no pointers to themselves, so moving the bytes moves them.
    if (body->size != 0) {
        std::memcpy(static_cast<void*>(grownBody->Data()), body->Data(), body->size * sizeof(BindingProperty));
    }
    if (body->capacity != 0) v.arena_->Free(body, CollectionBytes(body->capacity));
    v.payload_.collection = grownBody;
}

// Structures ------------------------------------------------------------------

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

// Walks ------------------------------------------------------------------------

void BindingPropertyAccess::ResetDeep(BindingProperty& root) {
    std::vector<BindingProperty*> stack;
    stack.push_back(&root);
    while (!stack.empty()) {
        BindingProperty* top = stack.back();
        if (top->kind_ == BindingKind::Collection && top->payload_.collection->size != 0) {
            CollectionBody* body = top->payload_.collection;
            BindingProperty& last = body->Data()[body->size - 1];
            if (IsFilledContainer(last)) {
                stack.push_back(&last);
            } else {
                last.ReleaseShallow();
                --body->size;
            }
        } else if (top->kind_ == BindingKind::Structure && top->payload_.structure->size_ != 0) {
            Members* members = top->payload_.structure;
            MemberSlot& last = members->Slots()[members->size_ - 1];
            if (IsFilledContainer(last.value)) {
                stack.push_back(&last.value);
            } else {
                if (members->trailer_) {
                    // The order no longer covers the slots; the bookkeeping
                    // goes with them.
                    Members::Trailer* trailer = members->GetTrailer();
                    if (trailer->order != nullptr) {
                        top->arena_->Free(trailer->order, members->capacity_ * sizeof(uint32_t));
                        trailer->order = nullptr;
                        trailer->ordered = 0;
                    }
                    trailer->sorted = std::min(trailer->sorted, members->size_ - 1);
                }
                last.value.ReleaseShallow();
                top->arena_->Release(top->arena_->StringAt(last.Key()));
                --members->size_;
            }
        } else {
            top->ReleaseShallow();
            stack.pop_back();
        }
    }
}

bool BindingPropertyAccess::CopyShallow(BindingProperty& target, const BindingProperty& source) {
    switch (source.kind_) {
        case BindingKind::Empty: return false;
        case BindingKind::Bool:
        case BindingKind::Signed:
        case BindingKind::Unsigned:
        case BindingKind::Float:
            target.payload_ = source.payload_;
            target.kind_ = source.kind_;
            return false;
        case BindingKind::String:
            target.payload_.string = target.arena_->Intern(source.payload_.string->View());
            target.kind_ = BindingKind::String;
            return false;
        case BindingKind::Blob:
            target.SetBlob(source.payload_.blob->data, source.payload_.blob->size);
            return false;
        case BindingKind::Enum:
            target.SetEnum(source.payload_.enumRecord->value, source.payload_.enumRecord->type);
            return false;
        case BindingKind::Collection:
            target.MakeCollection();
            target.Reserve(source.payload_.collection->size);
            return source.payload_.collection->size != 0;
        case BindingKind::Structure: {
            target.MakeStructure();
            const Members* members = source.payload_.structure;
            if (members->size_ == 0) return false;
            BindingProperty::EnsureOrdered(source.payload_.structure);
            // Exactly the room the source needs, filled in order below.
            target.payload_.structure = NewMembers(target.arena_, members->size_, false);
            return true;
        }
    }
    return false;
}

void BindingPropertyAccess::CopyDeep(BindingProperty& target, const BindingProperty& source) {
    struct Frame {
        const BindingProperty* source;
        BindingProperty* target;
        uint32_t index;
    };
    if (!CopyShallow(target, source)) return;
    std::vector<Frame> stack;
    stack.push_back(Frame{&source, &target, 0});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const BindingProperty* child = nullptr;
        BindingProperty* copy = nullptr;
        if (frame.source->kind_ == BindingKind::Collection) {
            const CollectionBody* body = frame.source->payload_.collection;
            if (frame.index == body->size) {
                stack.pop_back();
                continue;
            }
            child = &body->Data()[frame.index++];
            copy = &frame.target->AppendElement();
        } else {
            const Members* from = frame.source->payload_.structure;
            if (frame.index == from->size_) {
                stack.pop_back();
                continue;
            }
            const MemberSlot& slot = from->Ordered(frame.index++);
            ValueArena* arena = frame.target->arena_;
            // Source members come in order into room made for them.
            Members* into = frame.target->payload_.structure;
            MemberSlot& added = into->Slots()[into->size_];
            InternedString* key = arena->Intern(frame.source->arena_->StringAt(slot.Key())->View());
            new (&added.value) BindingProperty(BindingProperty::ChildTag{}, arena);
            added.SetKey(key->id);
            ++into->size_;
            child = &slot.value;
            copy = &added.value;
        }
        if (CopyShallow(*copy, *child)) stack.push_back(Frame{child, copy, 0});
    }
}

bool BindingPropertyAccess::Equal(const BindingProperty& a, const BindingProperty& b) {
    std::vector<std::pair<const BindingProperty*, const BindingProperty*>> pending;
    pending.emplace_back(&a, &b);
    while (!pending.empty()) {
        auto [x, y] = pending.back();
        pending.pop_back();
        if (x->kind_ != y->kind_) return false;
        switch (x->kind_) {
            case BindingKind::Empty: break;
            case BindingKind::Bool:
                if (x->payload_.boolean != y->payload_.boolean) return false;
                break;
            case BindingKind::Signed:
            case BindingKind::Unsigned:
                if (x->payload_.u != y->payload_.u) return false;
                break;
            case BindingKind::Float:
                if (!(x->payload_.d == y->payload_.d || (std::isnan(x->payload_.d) && std::isnan(y->payload_.d))))
                    return false;
                break;
            case BindingKind::String:
                if (x->payload_.string->View() != y->payload_.string->View()) return false;
                break;
            case BindingKind::Blob:
                if (x->AsBlob().size() != y->AsBlob().size() ||
                    (x->AsBlob().size() != 0 &&
                     std::memcmp(x->AsBlob().data(), y->AsBlob().data(), x->AsBlob().size()) != 0))
                    return false;
                break;
            case BindingKind::Enum:
                if (x->payload_.enumRecord->value != y->payload_.enumRecord->value ||
                    x->payload_.enumRecord->type != y->payload_.enumRecord->type)
                    return false;
                break;
            case BindingKind::Collection: {
                auto xs = x->Elements();
                auto ys = y->Elements();
                if (xs.size() != ys.size()) return false;
                for (std::size_t i = 0; i < xs.size(); ++i) pending.emplace_back(&xs[i], &ys[i]);
                break;
            }
            case BindingKind::Structure: {
                const Members* xm = x->StructureMembers();
                const Members* ym = y->StructureMembers();
                if (xm->size_ != ym->size_) return false;
                for (uint32_t i = 0; i < xm->size_; ++i) {
                    const BindingMember xi = xm->At(i);
                    const BindingMember yi = ym->At(i);
                    if (xi.first->View() != yi.first->View()) return false;
                    pending.emplace_back(&xi.second, &yi.second);
                }
                break;
            }
        }
    }
    return true;
}

// The value -------------------------------------------------------------------

BindingProperty::BindingProperty(const BindingProperty& other) : BindingProperty() { CopyFrom(other); }

BindingProperty::BindingProperty(BindingProperty&& other) noexcept : BindingProperty() {
    if (other.ownsArena_) {
        payload_ = other.payload_;
        arena_ = other.arena_;
        kind_ = other.kind_;
        other.arena_ = nullptr;
        other.kind_ = BindingKind::Empty;
        other.payload_.u = 0;
    } else {
        CopyFrom(other);
        other.ReleaseContent();
    }
}

BindingProperty::~BindingProperty() {
    if (ownsArena_) {
        // The whole tree lives in the arena: free it wholesale, no walk.
        ValueArena::Destroy(arena_);
        return;
    }
    ReleaseContent();
}

BindingProperty& BindingProperty::operator=(const BindingProperty& other) {
    if (this != &other) CopyFrom(other);
    return *this;
}

BindingProperty& BindingProperty::operator=(BindingProperty&& other) {
    if (this == &other) return *this;
    if (ownsArena_ && other.ownsArena_) {
        std::swap(payload_, other.payload_);
        std::swap(arena_, other.arena_);
        std::swap(kind_, other.kind_);
    } else {
        CopyFrom(other);
    }
    other.ReleaseContent();
    return *this;
}

void BindingProperty::CopyFrom(const BindingProperty& source) {
    // Leaves take their content before the target is reset, so a source
    // inside the target stays readable.
    switch (source.kind_) {
        case BindingKind::Empty: ReleaseContent(); return;
        case BindingKind::Bool: SetBool(source.payload_.boolean != 0); return;
        case BindingKind::Signed: SetSigned(source.payload_.i); return;
        case BindingKind::Unsigned: SetUnsigned(source.payload_.u); return;
        case BindingKind::Float: SetDouble(source.payload_.d); return;
        case BindingKind::String: SetStringFrom(source); return;
        case BindingKind::Blob: SetBlob(source.payload_.blob->data, source.payload_.blob->size); return;
        case BindingKind::Enum: SetEnum(source.payload_.enumRecord->value, source.payload_.enumRecord->type); return;
        default: break;
    }
    if (source.arena_ == arena_) {
        // Source and target share a tree, and one may contain the other:
        // copy out first, so resetting the target cannot touch the source.
        BindingProperty detached(source);
        CopyFrom(detached);
        return;
    }
    ReleaseContent();
    if (source.kind_ >= BindingKind::String) EnsureArena();
    BindingPropertyAccess::CopyDeep(*this, source);
}

ValueArena* BindingProperty::EnsureArena() {
    if (arena_ == nullptr) arena_ = ValueArena::Create();
    return arena_;
}

void BindingProperty::ReleaseShallow() {
    switch (kind_) {
        case BindingKind::String:
            // The shared empty string needs no arena: a root may hold it without one.
            if (payload_.string != ValueArena::EmptyString()) arena_->Release(payload_.string);
            break;
        case BindingKind::Blob: {
            BlobBody* body = payload_.blob;
            if (body->data != nullptr) arena_->Free(body->data, body->capacity);
            arena_->Free(body, sizeof(BlobBody));
            break;
        }
        case BindingKind::Enum: arena_->Free(payload_.enumRecord, sizeof(BindingEnum)); break;
        case BindingKind::Collection: {
            CollectionBody* body = payload_.collection;
            if (body->capacity != 0) arena_->Free(body, BindingPropertyAccess::CollectionBytes(body->capacity));
            break;
        }
        case BindingKind::Structure: BindingPropertyAccess::FreeMembers(arena_, payload_.structure); break;
        default: break;
    }
    kind_ = BindingKind::Empty;
    payload_.u = 0;
}

void BindingProperty::ReleaseContent() {
    if (IsFilledContainer(*this)) {
        BindingPropertyAccess::ResetDeep(*this);
    } else {
        ReleaseShallow();
    }
}

void BindingProperty::Reset() {
    if (ownsArena_ && IsFilledContainer(*this)) {
        // The arena holds this tree and nothing else: empty it in one step.
        arena_->Clear();
        kind_ = BindingKind::Empty;
        payload_.u = 0;
        return;
    }
    ReleaseContent();
}

std::size_t BindingProperty::Count() const {
    switch (kind_) {
        case BindingKind::Empty: return 0;
        case BindingKind::String: return payload_.string->length;
        case BindingKind::Blob: return payload_.blob->size;
        case BindingKind::Collection: return payload_.collection->size;
        case BindingKind::Structure: return payload_.structure->size_;
        default: return 1;
    }
}

void BindingProperty::SetBool(bool value) {
    ReleaseContent();
    payload_.boolean = value ? 1 : 0;
    kind_ = BindingKind::Bool;
}

void BindingProperty::SetSigned(int64_t value) {
    ReleaseContent();
    payload_.i = value;
    kind_ = BindingKind::Signed;
}

void BindingProperty::SetUnsigned(uint64_t value) {
    ReleaseContent();
    payload_.u = value;
    kind_ = BindingKind::Unsigned;
}

void BindingProperty::SetDouble(double value) {
    ReleaseContent();
    payload_.d = value;
    kind_ = BindingKind::Float;
}

void BindingProperty::SetString(const char* text) { SetString(std::string_view(text != nullptr ? text : "")); }

void BindingProperty::SetString(std::string_view text) {
    InternedString* entry = text.empty() ? ValueArena::EmptyString() : EnsureArena()->Intern(text);
    ReleaseContent();
    payload_.string = entry;
    kind_ = BindingKind::String;
}

void BindingProperty::SetStringFrom(const BindingProperty& other) {
    if (other.kind_ == BindingKind::String && other.arena_ == arena_ && arena_ != nullptr) {
        InternedString* entry = other.payload_.string;
        arena_->AddReference(entry);
        ReleaseContent();
        payload_.string = entry;
        kind_ = BindingKind::String;
        return;
    }
    SetString(other.AsString());
}

void BindingProperty::SetBlob(const void* data, std::size_t size) {
    if (size > UINT32_MAX) throw std::length_error("blob too large");
    ValueArena* arena = EnsureArena();
    auto* body = static_cast<BlobBody*>(arena->Allocate(sizeof(BlobBody)));
    body->data = nullptr;
    body->size = static_cast<uint32_t>(size);
    body->capacity = static_cast<uint32_t>(size);
    if (size != 0) {
        try {
            body->data = static_cast<uint8_t*>(arena->Allocate(size));
        } catch (...) {
            arena->Free(body, sizeof(BlobBody));
            throw;
        }
        std::memcpy(body->data, data, size);
    }
    ReleaseContent();
    payload_.blob = body;
    kind_ = BindingKind::Blob;
}

void BindingProperty::SetBlob(std::vector<uint8_t>&& bytes) {
    // The bytes must live in the tree's arena, so they are copied there.
    std::vector<uint8_t> taken = std::move(bytes);
    SetBlob(taken.data(), taken.size());
}

void BindingProperty::SetEnum(int32_t value, const TypeIdentifier* type) {
    auto* record = static_cast<BindingEnum*>(EnsureArena()->Allocate(sizeof(BindingEnum)));
    record->value = value;
    record->type = type;
    ReleaseContent();
    payload_.enumRecord = record;
    kind_ = BindingKind::Enum;
}

void BindingProperty::MakeCollection() {
    if (kind_ == BindingKind::Collection) return;
    EnsureArena();
    ReleaseContent();
    payload_.collection = BindingPropertyAccess::EmptyCollection();
    kind_ = BindingKind::Collection;
}

void BindingProperty::MakeStructure() {
    if (kind_ == BindingKind::Structure) return;
    EnsureArena();
    ReleaseContent();
    payload_.structure = BindingPropertyAccess::EmptyMembers();
    kind_ = BindingKind::Structure;
}

void BindingProperty::Reserve(std::size_t count) {
    if (kind_ != BindingKind::Collection) return;
    if (count > kMaxElements) throw std::length_error("BindingProperty::Reserve");
    BindingPropertyAccess::GrowCollection(*this, count, true);
}

BindingProperty& BindingProperty::Element(std::size_t index) {
    if (index >= kMaxElements) throw std::length_error("BindingProperty::Element");
    MakeCollection();
    if (index >= payload_.collection->size) {
        BindingPropertyAccess::GrowCollection(*this, index + 1, false);
        CollectionBody* body = payload_.collection;
        for (std::size_t i = body->size; i <= index; ++i) new (&body->Data()[i]) BindingProperty(ChildTag{}, arena_);
        body->size = static_cast<uint32_t>(index + 1);
    }
    return payload_.collection->Data()[index];
}

BindingProperty& BindingProperty::AppendElement() {
    return Element(kind_ == BindingKind::Collection ? payload_.collection->size : 0);
}

BindingProperty& BindingProperty::Member(std::string_view name) {
    name = UpToNul(name);
    MakeStructure();
    return BindingPropertyAccess::FindOrInsert(*this, name);
}

const BindingProperty& BindingProperty::EmptyValue() {
    static const BindingProperty empty;
    return empty;
}

const BindingProperty& BindingProperty::GetElement(std::size_t index) const {
    if (kind_ == BindingKind::Collection && index < payload_.collection->size) {
        return payload_.collection->Data()[index];
    }
    return EmptyValue();
}

const BindingProperty* BindingProperty::FindMember(std::string_view name) const {
    if (kind_ != BindingKind::Structure) return nullptr;
    Members* members = payload_.structure;
    const uint32_t found = BindingPropertyAccess::Find(members, UpToNul(name), nullptr);
    return found == BindingPropertyAccess::kNotFound ? nullptr : &members->Slots()[found].value;
}

BindingProperty* BindingProperty::FindMember(std::string_view name) {
    return const_cast<BindingProperty*>(static_cast<const BindingProperty*>(this)->FindMember(name));
}

const BindingProperty& BindingProperty::GetMember(std::string_view name) const {
    const BindingProperty* member = FindMember(name);
    return member != nullptr ? *member : EmptyValue();
}

bool BindingProperty::AsBool(bool fallback) const {
    return kind_ == BindingKind::Bool ? payload_.boolean != 0 : fallback;
}

int64_t BindingProperty::AsSigned(int64_t fallback) const {
    return kind_ == BindingKind::Signed ? payload_.i : fallback;
}

uint64_t BindingProperty::AsUnsigned(uint64_t fallback) const {
    return kind_ == BindingKind::Unsigned ? payload_.u : fallback;
}

double BindingProperty::AsDouble(double fallback) const { return kind_ == BindingKind::Float ? payload_.d : fallback; }

std::string_view BindingProperty::AsString(std::string_view fallback) const {
    return kind_ == BindingKind::String ? payload_.string->View() : fallback;
}

const char* BindingProperty::AsCString(const char* fallback) const {
    return kind_ == BindingKind::String ? payload_.string->Text() : fallback;
}

std::span<const uint8_t> BindingProperty::AsBlob(std::span<const uint8_t> fallback) const {
    return kind_ == BindingKind::Blob ? std::span<const uint8_t>(payload_.blob->data, payload_.blob->size) : fallback;
}

BindingEnum BindingProperty::AsEnum(BindingEnum fallback) const {
    return kind_ == BindingKind::Enum ? *payload_.enumRecord : fallback;
}

const InternedString* BindingProperty::AsInterned() const {
    return kind_ == BindingKind::String ? payload_.string : nullptr;
}

bool BindingProperty::Truth() const {
    switch (kind_) {
        case BindingKind::Empty: return false;
        case BindingKind::Bool: return payload_.boolean != 0;
        case BindingKind::Signed:
        case BindingKind::Unsigned: return payload_.u != 0;
        case BindingKind::Float: return payload_.d != 0.0;  // NaN compares unequal, so it is true
        case BindingKind::String: {
            std::string_view text = payload_.string->View();
            return text == "true" || text == "1";
        }
        case BindingKind::Enum: return payload_.enumRecord->value != 0;
        default: return Count() != 0;
    }
}

std::span<BindingProperty> BindingProperty::Elements() {
    if (kind_ != BindingKind::Collection) return {};
    return std::span<BindingProperty>(payload_.collection->Data(), payload_.collection->size);
}

std::span<const BindingProperty> BindingProperty::Elements() const {
    if (kind_ != BindingKind::Collection) return {};
    return std::span<const BindingProperty>(payload_.collection->Data(), payload_.collection->size);
}

const BindingProperty::Members* BindingProperty::StructureMembers() const {
    if (kind_ != BindingKind::Structure) return nullptr;
    EnsureOrdered(payload_.structure);
    return payload_.structure;
}

void BindingProperty::Visit(BindingVisitor& visitor) const { Walk(visitor); }

bool operator==(const BindingProperty& a, const BindingProperty& b) { return BindingPropertyAccess::Equal(a, b); }

}  // namespace Vorn

#pragma once
// Vorn::BindingProperty, the one dynamic value of the system: every request
// and response body, event payload and decoded document is a tree of them.
//
// A value is a kind byte and an 8-byte payload. Everything out of line
// (strings, byte arrays, child arrays, member maps) lives in the arena of the
// tree's root, so building and dropping a whole document costs few system
// allocations. A value constructed on its own is a root and owns its arena
// (created on first need); values inside collections and structures borrow
// their parent's. Handing a subtree to another root copies it.
//
// Reading an absent element or member never fails: it yields a shared,
// immutable empty value. Walks (reset, copy, visit, compare) use an explicit
// stack, so no tree is too deep for them.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string_view>
#include <vector>

#include "binding/binding_kind.h"
#include "binding/binding_visitor.h"
#include "binding/interned_string.h"
#include "binding/type_identifier.h"
#include "binding/value_arena.h"

namespace Vorn {

// The enum payload: the enumerator's number and its type's identifier. The
// enumerator's name is found through the type registry when needed.
struct BindingEnum {
    int32_t value = 0;
    const TypeIdentifier* type = nullptr;
};

class BindingProperty;

// One member of a structure as StructureMembers() hands it out: its name and
// its value.
struct BindingMember {
    const InternedString* first;
    const BindingProperty& second;
};

class BindingProperty {
    struct ChildTag {};
    // The out-of-line bodies, in the arena; only the value's own code touches
    // them, so that every key and element it holds stays counted.
    struct BlobBody;
    struct CollectionBody;
    struct MemberSlot;

public:
    class Members;

    // Collections may hold at most this many elements.
    static constexpr std::size_t kMaxElements = 0x0FFFFFFF;

    BindingProperty() noexcept : arena_(nullptr), kind_(BindingKind::Empty), ownsArena_(true) { payload_.u = 0; }
    BindingProperty(const BindingProperty& other);
    // Takes the other root's tree over (it is left empty); a child is copied
    // and then reset.
    // noexcept so that standard containers of roots move them; copying a
    // child can only fail on exhausted memory, which ends the process.
    BindingProperty(BindingProperty&& other) noexcept;
    ~BindingProperty();
    BindingProperty& operator=(const BindingProperty& other);
    // Two roots exchange their trees; otherwise a copy. The source is reset.
    BindingProperty& operator=(BindingProperty&& other);

    // A child value borrowing the arena (only containers create these).
    BindingProperty(ChildTag, ValueArena* arena) noexcept : arena_(arena), kind_(BindingKind::Empty), ownsArena_(false) {
        payload_.u = 0;
    }

    BindingKind Kind() const { return kind_; }
    bool IsEmpty() const { return kind_ == BindingKind::Empty; }
    bool OwnsArena() const { return ownsArena_; }
    ValueArena* Arena() const { return arena_; }

    // empty 0; string and blob their byte count; collection and structure
    // their entries; every other kind 1.
    std::size_t Count() const;

    void Reset();

    // Setters reset the value first (the new content is taken before, so it
    // may come from inside the value itself).
    void SetBool(bool value);
    void SetSigned(int64_t value);
    void SetUnsigned(uint64_t value);
    void SetDouble(double value);
    void SetString(const char* text);
    void SetString(std::string_view text);
    void SetStringFrom(const BindingProperty& other);  // other's string, interned here
    void SetBlob(const void* data, std::size_t size);
    void SetBlob(std::vector<uint8_t>&& bytes);
    void SetEnum(int32_t value, const TypeIdentifier* type);

    // Turn the value into an empty container unless it already is one of
    // that kind (an existing one keeps its entries).
    void MakeCollection();
    void MakeStructure();
    // For collections only; throws std::length_error above kMaxElements.
    void Reserve(std::size_t count);

    // For writing: makes the value a collection and appends empty elements
    // until index exists.
    BindingProperty& Element(std::size_t index);
    BindingProperty& AppendElement();
    // For writing: makes the value a structure; finds or inserts the member.
    // A name is taken up to its first NUL byte. Members are kept by value, as
    // elements are: adding a member may move the others, so a reference to
    // one is good until the next member is added to the same structure.
    BindingProperty& Member(std::string_view name);

    // For reading: the element or member, or the shared empty value.
    const BindingProperty& GetElement(std::size_t index) const;
    const BindingProperty& GetMember(std::string_view name) const;
    const BindingProperty* FindMember(std::string_view name) const;
    BindingProperty* FindMember(std::string_view name);
    static const BindingProperty& EmptyValue();

    // The payload when the kind is exactly the one named, else the default.
    bool AsBool(bool fallback = false) const;
    int64_t AsSigned(int64_t fallback = 0) const;
    uint64_t AsUnsigned(uint64_t fallback = 0) const;
    double AsDouble(double fallback = 0.0) const;
    std::string_view AsString(std::string_view fallback = {}) const;
    const char* AsCString(const char* fallback = "") const;  // NUL-terminated
    std::span<const uint8_t> AsBlob(std::span<const uint8_t> fallback = {}) const;
    BindingEnum AsEnum(BindingEnum fallback = {}) const;
    const InternedString* AsInterned() const;  // null unless a string

    // empty false; bool its value; numbers non-zero (NaN true); string only
    // "true" or "1"; blob, collection, structure non-empty; enum non-zero.
    bool Truth() const;

    // Entries of a collection (empty span otherwise).
    std::span<BindingProperty> Elements();
    std::span<const BindingProperty> Elements() const;

    // Members of a structure in ascending byte order of their names; null
    // unless the value is a structure. Read-only: members are added through
    // Member() and removed by Reset(), which keep the interned names counted.
    const Members* StructureMembers() const;

    void Visit(BindingVisitor& visitor) const;
    // The same walk for a concrete visitor type: calls bind statically, so a
    // `final` visitor's operations are inlined (the JSON writers use this).
    template <typename Visitor>
    void Walk(Visitor& visitor) const;

private:
    friend struct BindingPropertyAccess;
    friend class TreeBuilder;

    union Payload {
        uint8_t boolean;
        int64_t i;
        uint64_t u;
        double d;
        InternedString* string;
        BlobBody* blob;
        BindingEnum* enumRecord;
        CollectionBody* collection;
        Members* structure;
    };

    ValueArena* EnsureArena();
    void ReleaseShallow();  // a value that is not a non-empty container
    void ReleaseContent();  // empties the value, walking its tree
    void CopyFrom(const BindingProperty& source);
    // Sorts what a structure's members were added out of order, for walks in
    // name order; moves no member.
    static void EnsureOrdered(Members* members);

    Payload payload_;
    ValueArena* arena_;
    BindingKind kind_;
    bool ownsArena_;
#if UINTPTR_MAX > 0xFFFFFFFFu
    // In a structure's slot, the id of the member's name: the room the layout
    // leaves on 64-bit targets, so a member takes no more than an element.
    uint32_t memberKey_ = 0;
#endif
};

static_assert(sizeof(BindingProperty) == (sizeof(void*) == 4 ? 16 : 24), "payload, arena pointer, kind and flag");

struct BindingProperty::BlobBody {
    uint8_t* data;
    uint32_t size;
    uint32_t capacity;
};

// A collection's elements follow its header in one block. Every empty
// collection shares one header without room.
struct BindingProperty::CollectionBody {
    uint32_t size;
    uint32_t capacity;

    BindingProperty* Data() { return reinterpret_cast<BindingProperty*>(this + 1); }
    const BindingProperty* Data() const { return reinterpret_cast<const BindingProperty*>(this + 1); }
};

// A member: its value and the arena id of its name (inside the value on
// 64-bit targets).
struct BindingProperty::MemberSlot {
    BindingProperty value;
#if UINTPTR_MAX > 0xFFFFFFFFu
    uint32_t Key() const { return value.memberKey_; }
    void SetKey(uint32_t id) { value.memberKey_ = id; }
#else
    uint32_t key;
    uint32_t Key() const { return key; }
    void SetKey(uint32_t id) { key = id; }
#endif
};

// A structure's members: a header, then the slots in one block. (The
// structure was an ordered map with a node per member; a sorted array takes a
// third of the memory and reading a document into it costs a third as much.)
//
// Members are kept in ascending byte order of their names. Readers append a
// whole object's members and sort them once when it closes; Member() inserts
// in place while a structure is small. A larger structure built out of order
// gets a trailer: its slots [0, sorted) are in order, later ones as added,
// and a walk in name order goes through `order`, the slot numbers in name
// order, made when first needed. Slots never move for it, so references to
// members stay good until a member is added.
class BindingProperty::Members {
public:
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = BindingMember;
        using difference_type = std::ptrdiff_t;
        using reference = BindingMember;
        struct pointer {
            BindingMember member;
            const BindingMember* operator->() const { return &member; }
        };

        const_iterator() = default;
        BindingMember operator*() const { return members_->At(index_); }
        pointer operator->() const { return pointer{**this}; }
        const_iterator& operator++() {
            ++index_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++index_;
            return before;
        }
        bool operator==(const const_iterator& other) const { return index_ == other.index_; }

    private:
        friend class Members;
        const_iterator(const Members* members, uint32_t index) : members_(members), index_(index) {}
        const Members* members_ = nullptr;
        uint32_t index_ = 0;
    };

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, size_); }

private:
    friend class BindingProperty;
    friend struct BindingPropertyAccess;
    friend class TreeBuilder;

    // Bookkeeping of a structure whose members came out of order.
    struct Trailer {
        uint32_t sorted;   // slots [0, sorted) are in name order
        uint32_t ordered;  // order holds this many slot numbers (0: none)
        uint32_t* order;   // room for capacity numbers
    };

    MemberSlot* Slots() { return reinterpret_cast<MemberSlot*>(this + 1); }
    const MemberSlot* Slots() const { return reinterpret_cast<const MemberSlot*>(this + 1); }
    Trailer* GetTrailer() { return reinterpret_cast<Trailer*>(reinterpret_cast<unsigned char*>(Slots() + capacity_)); }
    const Trailer* GetTrailer() const {
        return reinterpret_cast<const Trailer*>(reinterpret_cast<const unsigned char*>(Slots() + capacity_));
    }
    // Whether the slots themselves are in name order.
    bool InOrder() const { return !trailer_ || GetTrailer()->sorted == size_; }
    // The i-th slot in name order; the order must be made (EnsureOrdered).
    const MemberSlot& Ordered(uint32_t i) const { return InOrder() ? Slots()[i] : Slots()[GetTrailer()->order[i]]; }
    BindingMember At(uint32_t i) const {
        const MemberSlot& slot = Ordered(i);
        return BindingMember{slot.value.arena_->StringAt(slot.Key()), slot.value};
    }

    uint32_t size_ = 0;
    uint32_t capacity_ : 31 = 0;
    uint32_t trailer_ : 1 = 0;
};

template <typename Visitor>
void BindingProperty::Walk(Visitor& visitor) const {
    struct Frame {
        const BindingProperty* value;
        uint32_t index;
        bool open;
    };
    // Most trees are shallow: the first levels live on the stack.
    Frame local[32];
    std::vector<Frame> spilled;
    std::size_t depth = 0;
    auto push = [&](const Frame& frame) {
        if (depth < std::size(local)) {
            local[depth] = frame;
        } else {
            spilled.push_back(frame);
        }
        ++depth;
    };
    auto top = [&]() -> Frame& { return depth <= std::size(local) ? local[depth - 1] : spilled.back(); };
    auto pop = [&]() {
        if (depth > std::size(local)) spilled.pop_back();
        --depth;
    };
    // Reports a value; a non-empty container is entered as a new frame.
    auto enter = [&](const BindingProperty& v) {
        switch (v.kind_) {
            case BindingKind::Empty: visitor.Empty(); break;
            case BindingKind::Bool: visitor.Bool(v.payload_.boolean != 0); break;
            case BindingKind::Signed: visitor.Signed(v.payload_.i); break;
            case BindingKind::Unsigned: visitor.Unsigned(v.payload_.u); break;
            case BindingKind::Float: visitor.Float(v.payload_.d); break;
            case BindingKind::String: visitor.String(v.payload_.string->View()); break;
            case BindingKind::Blob:
                visitor.Blob(std::span<const uint8_t>(v.payload_.blob->data, v.payload_.blob->size));
                break;
            case BindingKind::Enum: visitor.Enum(*v.payload_.enumRecord); break;
            case BindingKind::Collection:
                visitor.BeginCollection(v.payload_.collection->size);
                push(Frame{&v, 0, false});
                break;
            case BindingKind::Structure:
                if (!v.payload_.structure->InOrder()) EnsureOrdered(v.payload_.structure);
                visitor.BeginStructure(v.payload_.structure->size_);
                push(Frame{&v, 0, false});
                break;
        }
    };
    auto isContainer = [](const BindingProperty& v) {
        return v.kind_ == BindingKind::Collection || v.kind_ == BindingKind::Structure;
    };
    // Entries that are not containers are reported within their parent's
    // pass; a container is entered, and its parent resumes after it.
    enter(*this);
    while (depth != 0) {
        Frame& frame = top();
        uint32_t i = frame.index;
        if (frame.value->kind_ == BindingKind::Collection) {
            const CollectionBody* body = frame.value->payload_.collection;
            if (frame.open) visitor.EndElement(i++);
            const BindingProperty* data = body->Data();
            const uint32_t size = body->size;
            for (; i < size; ++i) {
                visitor.BeginElement(i);
                if (isContainer(data[i])) break;
                enter(data[i]);
                visitor.EndElement(i);
            }
            if (i == size) {
                pop();
                visitor.EndCollection();
                continue;
            }
            frame.index = i;
            frame.open = true;
            enter(data[i]);  // may invalidate frame
        } else {
            const Members* members = frame.value->payload_.structure;
            const MemberSlot* slots = members->Slots();
            const uint32_t* order = members->InOrder() ? nullptr : members->GetTrailer()->order;
            auto slotAt = [&](uint32_t at) -> const MemberSlot& { return order == nullptr ? slots[at] : slots[order[at]]; };
            if (frame.open) visitor.EndMember(arena_->StringAt(slotAt(i++).Key())->View());
            const uint32_t size = members->size_;
            for (; i < size; ++i) {
                const MemberSlot& slot = slotAt(i);
                const std::string_view name = arena_->StringAt(slot.Key())->View();
                visitor.BeginMember(name);
                if (isContainer(slot.value)) break;
                enter(slot.value);
                visitor.EndMember(name);
            }
            if (i == size) {
                pop();
                visitor.EndStructure();
                continue;
            }
            frame.index = i;
            frame.open = true;
            enter(slotAt(i).value);  // may invalidate frame
        }
    }
}

// Deep equality: same kinds, same payloads (NaN equals NaN), same entries.
bool operator==(const BindingProperty& a, const BindingProperty& b);

}  // namespace Vorn

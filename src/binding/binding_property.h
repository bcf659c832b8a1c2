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
#include <map>
#include <span>
#include <iterator>
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

// Member names compare as byte strings, unsigned, so "B" < "a" < "b".
struct MemberKeyLess {
    using is_transparent = void;
    bool operator()(const InternedString* a, const InternedString* b) const { return a->View() < b->View(); }
    bool operator()(const InternedString* a, std::string_view b) const { return a->View() < b; }
    bool operator()(std::string_view a, const InternedString* b) const { return a < b->View(); }
};

class BindingProperty {
    struct ChildTag {};
    // The out-of-line bodies, in the arena; only the value's own code touches
    // them, so that every key and element it holds stays counted.
    struct BlobBody;
    struct CollectionBody;
    struct StructureBody;

public:
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
    // A name is taken up to its first NUL byte.
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
    using Members = std::map<const InternedString*, BindingProperty, MemberKeyLess,
                             ArenaAllocator<std::pair<const InternedString* const, BindingProperty>>>;
    const Members* StructureMembers() const;

    void Visit(BindingVisitor& visitor) const;
    // The same walk for a concrete visitor type: calls bind statically, so a
    // `final` visitor's operations are inlined (the JSON writers use this).
    template <typename Visitor>
    void Walk(Visitor& visitor) const;

private:
    friend struct BindingPropertyAccess;

    union Payload {
        uint8_t boolean;
        int64_t i;
        uint64_t u;
        double d;
        InternedString* string;
        BlobBody* blob;
        BindingEnum* enumRecord;
        CollectionBody* collection;
        StructureBody* structure;
    };

    ValueArena* EnsureArena();
    void ReleaseShallow();  // a value that is not a non-empty container
    void CopyFrom(const BindingProperty& source);

    Payload payload_;
    ValueArena* arena_;
    BindingKind kind_;
    bool ownsArena_;
};

static_assert(sizeof(BindingProperty) == (sizeof(void*) == 4 ? 16 : 24), "payload, arena pointer, kind and flag");

struct BindingProperty::BlobBody {
    uint8_t* data;
    uint32_t size;
    uint32_t capacity;
};

struct BindingProperty::CollectionBody {
    BindingProperty* data;
    uint32_t size;
    uint32_t capacity;
};

struct BindingProperty::StructureBody {
    explicit StructureBody(ValueArena* arena) : members(MemberKeyLess{}, Members::allocator_type(arena)) {}
    Members members;
};

template <typename Visitor>
void BindingProperty::Walk(Visitor& visitor) const {
    struct Frame {
        const BindingProperty* value;
        std::size_t index;
        Members::const_iterator member;
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
                push(Frame{&v, 0, {}, false});
                break;
            case BindingKind::Structure:
                visitor.BeginStructure(v.payload_.structure->members.size());
                push(Frame{&v, 0, v.payload_.structure->members.begin(), false});
                break;
        }
    };
    enter(*this);
    while (depth != 0) {
        Frame& frame = top();
        if (frame.value->kind_ == BindingKind::Collection) {
            const CollectionBody* body = frame.value->payload_.collection;
            if (frame.open) {
                visitor.EndElement(frame.index);
                frame.open = false;
                ++frame.index;
            }
            if (frame.index == body->size) {
                pop();
                visitor.EndCollection();
                continue;
            }
            frame.open = true;
            visitor.BeginElement(frame.index);
            enter(body->data[frame.index]);  // may invalidate frame
        } else {
            const Members& members = frame.value->payload_.structure->members;
            if (frame.open) {
                visitor.EndMember(frame.member->first->View());
                frame.open = false;
                ++frame.member;
            }
            if (frame.member == members.end()) {
                pop();
                visitor.EndStructure();
                continue;
            }
            frame.open = true;
            visitor.BeginMember(frame.member->first->View());
            enter(frame.member->second);  // may invalidate frame
        }
    }
}

// Deep equality: same kinds, same payloads (NaN equals NaN), same entries.
bool operator==(const BindingProperty& a, const BindingProperty& b);

}  // namespace Vorn

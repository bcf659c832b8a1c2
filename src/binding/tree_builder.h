#pragma once
// Builds a value tree from a reader's events in one pass (the JSON and
// MessagePack readers use it).
//
// A container read fresh gathers its entries on the builder's own stack, in
// input order, and becomes one block of the arena when it closes: a
// collection's elements copied as they are, a structure's members laid out
// in name order, sorted once. Nothing is searched on the way except a
// repeated key, which is found among the object's members read so far; its
// earlier value is then the target, as the general find-or-insert would make
// it. A container that merges into one already in the tree (a repeated key
// in JSON) is filled through the general operations instead.
//
// Documents repeat the shape of their objects (the same names in the same
// order wherever one kind of record appears), so the builder remembers the
// last shape seen in each place (under the same member name, or as elements
// of the same list): while an object follows it, each name is checked
// against the remembered one instead of being looked up, repeats need no
// check, and the object takes the remembered order instead of being sorted.
//
// Values' texts are not interned, but documents repeat many of them (a
// user's fields in every post that quotes the user, a language code): the
// builder keeps the last text it made under each of kRecentTexts hash slots
// and shares that entry when the same text comes again, for as long as the
// arena has freed no text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "binding/binding_property.h"

namespace Vorn {

class TreeBuilder {
public:
    // What a container does to an earlier one at its place: JSON merges
    // (a structure keeps its members, a collection its elements),
    // MessagePack replaces.
    enum class Repeat : uint8_t { Merge, Replace };

    // root must be a root value (it owns the arena the tree is built in).
    TreeBuilder(BindingProperty& root, Repeat repeat);
    ~TreeBuilder();
    TreeBuilder(const TreeBuilder&) = delete;
    TreeBuilder& operator=(const TreeBuilder&) = delete;

    // Value events. Each fills the target: the root, the member named by the
    // last key, or a new element of the innermost collection. Null fills
    // nothing (a new element or member stays empty, an earlier value stays).
    void Null();
    void Bool(bool value);
    void Signed(int64_t value);
    void Unsigned(uint64_t value);
    void Double(double value);
    void String(std::string_view text);
    void Blob(const void* data, std::size_t size);
    void StartStructure();
    void StartCollection();
    // In an open structure: names the next value's member, taken up to its
    // first NUL byte.
    void Key(std::string_view name);
    // Closes the innermost open container.
    void End();

    std::size_t Depth() const { return depth_; }
    // Closes every container still open (input that ended early).
    void Finish();
    // Drops everything built so far, the root's content included, before the
    // root records a failure.
    void Discard();

private:
    struct Frame;
    struct Shape;
    using Slot = BindingProperty::MemberSlot;

    // Where a value goes: a slot on the stack (it may move as the stack
    // grows) or a value in the tree (it stays while its container is open).
    struct Place {
        BindingProperty* value;  // null: the stack slot
        uint32_t slot;
    };

    static constexpr std::size_t kShapes = 64;
    static constexpr std::size_t kRecentTexts = 1024;
    static constexpr uint32_t kLargestShape = 64;

    BindingProperty& Resolve(Place place) { return place.value != nullptr ? *place.value : stack_[place.slot].value; }
    // The place of the next value, and whether it is a fresh empty value
    // that can be filled without releasing anything.
    Place Target(bool& fresh);
    uint32_t Push();
    void Grow();
    void Open(bool structure);
    ValueArena* Arena();
    void KeyByLookup(Frame& frame, std::string_view name);
    void Stamp(Frame& frame);
    void Remember(Frame& frame, const uint32_t* order, bool sorted);
    void CloseStructure(Frame& frame, BindingProperty& target);
    void CloseCollection(const Frame& frame, BindingProperty& target);
    InternedString* SharedText(std::string_view text);

    BindingProperty& root_;
    ValueArena* arena_ = nullptr;
    Repeat repeat_;
    // Entries of the containers read fresh, innermost last.
    Slot* stack_ = nullptr;
    uint32_t top_ = 0;
    uint32_t capacity_ = 0;
    // Repeated keys are found through the slot where each name (by id) was
    // last added to an open structure; the slot's earlier entry is kept
    // beside it and put back when the structure closes, so the slot an
    // outer structure recorded is again the one its check finds. A structure
    // that follows a shape without repeats records its slots only when it
    // leaves the shape.
    uint32_t* keptSlot_ = nullptr;  // beside each stack slot
    uint32_t* slotOfName_ = nullptr;
    uint32_t names_ = 0;            // ids slotOfName_ has room for
    Frame* frames_ = nullptr;
    std::size_t depth_ = 0;
    std::size_t frameCapacity_ = 0;
    Shape* shapes_[kShapes] = {};
    uint32_t* scratch_ = nullptr;   // name orders of large structures
    uint32_t scratchSize_ = 0;
    // The member the last key chose: a slot of a structure read fresh, or a
    // member of one filled through Member().
    uint32_t keySlot_ = 0;
    bool keyFresh_ = false;
    // Entries the arena had freed when the build began: shapes hold ids of
    // names, which name the same texts while no entry is freed.
    std::size_t freedAtStart_ = 0;
    BindingProperty* keyValue_ = nullptr;
    InternedString** recentTexts_ = nullptr;  // kRecentTexts entries, made on the first text
    std::size_t textsFreedSeen_ = 0;
};

}  // namespace Vorn

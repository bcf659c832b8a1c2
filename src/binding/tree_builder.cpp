#include "binding/tree_builder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <vector>

#include "binding/binding_access.h"
#include "support/memory_hooks.h"

namespace Vorn {

namespace {

constexpr uint32_t kNoSlot = UINT32_MAX;
constexpr uint32_t kLeftShape = UINT32_MAX;

// The length up to the first NUL byte, a word at a time.
std::size_t LengthUpToNul(const char* text, std::size_t length) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHighs = 0x8080808080808080ull;
    std::size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t word;
        std::memcpy(&word, text + i, sizeof(word));
        if (((word - kOnes) & ~word & kHighs) != 0) break;
    }
    for (; i < length; ++i) {
        if (text[i] == '\0') return i;
    }
    return length;
}

// Heap blocks for the builder's own stacks (not the tree's: they are gone
// when the read is done).
template <typename T>
T* Regrow(T* old, std::size_t oldCount, std::size_t count) {
    auto* grown = static_cast<T*>(Vorn::Allocate(count * sizeof(T)));
    if (grown == nullptr) throw std::bad_alloc();
    if (oldCount != 0) std::memcpy(static_cast<void*>(grown), old, oldCount * sizeof(T));
    Vorn::Free(old);
    return grown;
}

// The first eight bytes of a name as a big-endian number (zeros past its
// end): names compare as these numbers first, and only on a tie as texts.
uint64_t NamePrefix(const InternedString* name) {
    uint64_t word = 0;
    std::memcpy(&word, name->Text(), name->length < 8 ? name->length : 8);
    if constexpr (std::endian::native == std::endian::little) {
#if defined(__GNUC__)
        word = __builtin_bswap64(word);
#else
        uint64_t swapped = 0;
        for (int i = 0; i < 8; ++i) swapped = (swapped << 8) | ((word >> (8 * i)) & 0xFF);
        word = swapped;
#endif
    }
    return word;
}

struct SortEntry {
    uint64_t prefix;
    const InternedString* name;
    uint32_t position;
};

bool NameBefore(const SortEntry& a, const SortEntry& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    return a.name->View() < b.name->View();
}

// The input positions of count members in name order; whether they are in
// order already.
bool SortOrder(const BindingPropertyAccess::MemberSlot* slots, uint32_t count, const ValueArena* arena, uint32_t* order) {
    SortEntry local[64];
    std::vector<SortEntry> spilled;
    SortEntry* entries = local;
    if (count > std::size(local)) {
        spilled.resize(count);
        entries = spilled.data();
    }
    bool sorted = true;
    for (uint32_t i = 0; i < count; ++i) {
        const InternedString* name = arena->StringAt(slots[i].Key());
        entries[i] = SortEntry{NamePrefix(name), name, i};
        if (i != 0 && sorted && NameBefore(entries[i], entries[i - 1])) sorted = false;
    }
    if (!sorted) {
        if (count <= 16) {
            for (uint32_t i = 1; i < count; ++i) {
                const SortEntry moving = entries[i];
                uint32_t j = i;
                for (; j != 0 && NameBefore(moving, entries[j - 1]); --j) entries[j] = entries[j - 1];
                entries[j] = moving;
            }
        } else {
            std::sort(entries, entries + count, NameBefore);
        }
    }
    for (uint32_t i = 0; i < count; ++i) order[i] = entries[i].position;
    return sorted;
}

}  // namespace

struct TreeBuilder::Frame {
    Place place;       // the container's own value
    uint32_t start;    // read fresh: its first slot on the stack
    uint32_t context;  // where it stands, for the shape its kind of object had there
    Shape* shape;      // a structure's remembered shape, or null
    uint32_t matched;  // keys that followed the shape so far (kLeftShape once one did not)
    bool structure;
    bool fresh;        // entries on the stack, else added through Member() / AppendElement()
    bool stamped;      // its slots are recorded in slotOfName_
    bool repeated;     // a key came twice
};

// The names of an object in input order and the order that sorts them.
struct TreeBuilder::Shape {
    uint32_t context;
    uint32_t count;
    uint32_t room;
    // Open structures following it: while there are any it is neither
    // replaced nor freed (a structure inside one of them, at a place whose
    // shape shares its slot, would otherwise change the names they are
    // checked against, or free them).
    uint32_t users;
    bool sorted;
    uint32_t* Ids() { return reinterpret_cast<uint32_t*>(this + 1); }
    uint32_t* Order() { return Ids() + room; }
};

TreeBuilder::TreeBuilder(BindingProperty& root, Repeat repeat) : root_(root), repeat_(repeat) {}

TreeBuilder::~TreeBuilder() {
    Vorn::Free(stack_);
    Vorn::Free(keptSlot_);
    Vorn::Free(slotOfName_);
    Vorn::Free(frames_);
    Vorn::Free(scratch_);
    Vorn::Free(recentTexts_);
    for (Shape* shape : shapes_) Vorn::Free(shape);
}

ValueArena* TreeBuilder::Arena() {
    if (arena_ == nullptr) {
        arena_ = root_.EnsureArena();
        freedAtStart_ = arena_->EntriesFreed();
    }
    return arena_;
}

void TreeBuilder::Grow() {
    const uint32_t capacity = capacity_ == 0 ? 64 : capacity_ * 2;
    stack_ = Regrow(stack_, top_, capacity);
    keptSlot_ = Regrow(keptSlot_, top_, capacity);
    capacity_ = capacity;
}

uint32_t TreeBuilder::Push() {
    if (top_ == capacity_) Grow();
    new (&stack_[top_].value) BindingProperty(BindingProperty::ChildTag{}, arena_);
    return top_++;
}

TreeBuilder::Place TreeBuilder::Target(bool& fresh) {
    if (depth_ == 0) {
        fresh = false;
        return Place{&root_, 0};
    }
    Frame& frame = frames_[depth_ - 1];
    if (frame.fresh) {
        if (!frame.structure) {
            fresh = true;
            return Place{nullptr, Push()};
        }
        fresh = keyFresh_;
        return Place{nullptr, keySlot_};
    }
    fresh = false;
    if (frame.structure) return Place{keyValue_, 0};
    return Place{&Resolve(frame.place).AppendElement(), 0};
}

void TreeBuilder::Null() {
    bool fresh;
    Target(fresh);  // a new element is still appended; the place keeps what it holds
}

void TreeBuilder::Bool(bool value) {
    bool fresh;
    BindingProperty& target = Resolve(Target(fresh));
    if (!fresh) return target.SetBool(value);
    target.payload_.boolean = value ? 1 : 0;
    target.kind_ = BindingKind::Bool;
}

void TreeBuilder::Signed(int64_t value) {
    bool fresh;
    BindingProperty& target = Resolve(Target(fresh));
    if (!fresh) return target.SetSigned(value);
    target.payload_.i = value;
    target.kind_ = BindingKind::Signed;
}

void TreeBuilder::Unsigned(uint64_t value) {
    bool fresh;
    BindingProperty& target = Resolve(Target(fresh));
    if (!fresh) return target.SetUnsigned(value);
    target.payload_.u = value;
    target.kind_ = BindingKind::Unsigned;
}

void TreeBuilder::Double(double value) {
    bool fresh;
    BindingProperty& target = Resolve(Target(fresh));
    if (!fresh) return target.SetDouble(value);
    target.payload_.d = value;
    target.kind_ = BindingKind::Float;
}

void TreeBuilder::String(std::string_view text) {
    bool fresh;
    const Place place = Target(fresh);
    if (!fresh) return Resolve(place).SetString(text);
    InternedString* entry = SharedText(text);
    BindingProperty& target = Resolve(place);
    target.payload_.string = entry;
    target.kind_ = BindingKind::String;
}

InternedString* TreeBuilder::SharedText(std::string_view text) {
    if (text.empty()) return ValueArena::EmptyString();
    if (recentTexts_ == nullptr || arena_->TextsFreed() != textsFreedSeen_) {
        // A text freed since may be one the slots point to: forget them all.
        if (recentTexts_ == nullptr) recentTexts_ = Regrow<InternedString*>(nullptr, 0, kRecentTexts);
        std::memset(static_cast<void*>(recentTexts_), 0, kRecentTexts * sizeof(InternedString*));
        textsFreedSeen_ = arena_->TextsFreed();
    }
    InternedString*& recent = recentTexts_[TextTableHash(text.data(), text.size()) & (kRecentTexts - 1)];
    if (recent != nullptr && recent->length == text.size() && SameText(recent->Text(), text.data(), text.size())) {
        arena_->AddReference(recent);
        return recent;
    }
    recent = arena_->NewText(text);
    return recent;
}

void TreeBuilder::Blob(const void* data, std::size_t size) {
    bool fresh;
    Resolve(Target(fresh)).SetBlob(data, size);
}

void TreeBuilder::StartStructure() { Open(true); }

void TreeBuilder::StartCollection() { Open(false); }

void TreeBuilder::Open(bool structure) {
    Arena();
    // Where the container stands: under a member name, or as an element of
    // a list that stands somewhere itself.
    uint32_t context = 0x9E3779B9u;
    if (depth_ != 0) {
        const Frame& parent = frames_[depth_ - 1];
        if (parent.fresh && parent.structure) {
            context = stack_[keySlot_].Key();
        } else if (parent.fresh) {
            context = parent.context * 31u + 7u;
        }
    }
    bool fresh;
    const Place place = Target(fresh);
    if (depth_ == frameCapacity_) {
        const std::size_t capacity = frameCapacity_ == 0 ? 16 : frameCapacity_ * 2;
        frames_ = Regrow(frames_, depth_, capacity);
        frameCapacity_ = capacity;
    }
    BindingProperty& target = Resolve(place);
    const BindingKind kind = structure ? BindingKind::Structure : BindingKind::Collection;
    if (!fresh && repeat_ == Repeat::Merge && target.Kind() == kind) {
        // An earlier container of the same kind takes the entries after its own.
        frames_[depth_++] = Frame{place, 0, context, nullptr, kLeftShape, structure, false, false, false};
        return;
    }
    if (!fresh) target.ReleaseContent();
    Shape* shape = nullptr;
    if (structure) {
        Shape* remembered = shapes_[(context * 0x9E3779B1u) >> 26];
        if (remembered != nullptr && remembered->context == context) {
            shape = remembered;
            ++shape->users;
        }
    }
    frames_[depth_++] = Frame{place, top_, context, shape, 0, structure, true, false, false};
}

void TreeBuilder::Key(std::string_view name) {
    Frame& frame = frames_[depth_ - 1];
    if (!frame.fresh) {
        keyValue_ = &Resolve(frame.place).Member(name.substr(0, LengthUpToNul(name.data(), name.size())));
        return;
    }
    const uint32_t position = top_ - frame.start;
    if (frame.matched == position && frame.shape != nullptr && position < frame.shape->count) {
        // The name the shape has here, checked by its text. Its id may have
        // been freed and given to another text since; that fails the check.
        // Names hold no NUL byte, so a key equal to one in full holds none
        // either and needs no cutting, unless the id may now name a string
        // that is not a name.
        const uint32_t id = frame.shape->Ids()[position];
        InternedString* expected = arena_->LiveStringAt(id);
        if (expected != nullptr && expected->length == name.size() &&
            SameText(expected->Text(), name.data(), name.size()) &&
            (arena_->EntriesFreed() == freedAtStart_ || LengthUpToNul(name.data(), name.size()) == name.size())) {
            // Every key so far followed a shape without repeats: no repeat.
            ++expected->references;
            const uint32_t slot = Push();
            stack_[slot].SetKey(id);
            ++frame.matched;
            keySlot_ = slot;
            keyFresh_ = true;
            return;
        }
    }
    frame.matched = kLeftShape;
    KeyByLookup(frame, name.substr(0, LengthUpToNul(name.data(), name.size())));
}

void TreeBuilder::Stamp(Frame& frame) {
    for (uint32_t slot = frame.start; slot < top_; ++slot) {
        const uint32_t id = stack_[slot].Key();
        keptSlot_[slot] = slotOfName_[id];
        slotOfName_[id] = slot;
    }
    frame.stamped = true;
}

void TreeBuilder::KeyByLookup(Frame& frame, std::string_view name) {
    bool freshName = false;
    InternedString* key = arena_->Intern(name, &freshName);
    const uint32_t id = key->id;
    if (id >= names_) {
        // Room for every id handed out so far, and then some.
        uint32_t names = names_ == 0 ? 256 : names_;
        while (names <= id) names *= 2;
        slotOfName_ = Regrow(slotOfName_, names_, names);
        for (uint32_t i = names_; i < names; ++i) slotOfName_[i] = kNoSlot;
        names_ = names;
    }
    if (!frame.stamped) Stamp(frame);
    if (!freshName) {
        const uint32_t slot = slotOfName_[id];
        if (slot != kNoSlot && slot >= frame.start && slot < top_ && stack_[slot].Key() == id) {
            // A repeated key: its earlier value is the target.
            arena_->Release(key);
            frame.repeated = true;
            keySlot_ = slot;
            keyFresh_ = false;
            return;
        }
    }
    const uint32_t slot = Push();
    stack_[slot].SetKey(id);
    keptSlot_[slot] = slotOfName_[id];
    slotOfName_[id] = slot;
    keySlot_ = slot;
    keyFresh_ = true;
}

void TreeBuilder::Remember(Frame& frame, const uint32_t* order, bool sorted) {
    const uint32_t count = top_ - frame.start;
    Shape*& place = shapes_[(frame.context * 0x9E3779B1u) >> 26];
    if (place != nullptr && place->users != 0) return;
    if (place == nullptr || place->room < count) {
        const uint32_t room = count < 8 ? 8 : count;
        Vorn::Free(place);
        place = static_cast<Shape*>(Vorn::Allocate(sizeof(Shape) + 2 * room * sizeof(uint32_t)));
        if (place == nullptr) throw std::bad_alloc();
        place->room = room;
        place->users = 0;
    }
    place->context = frame.context;
    place->count = count;
    place->sorted = sorted;
    for (uint32_t i = 0; i < count; ++i) place->Ids()[i] = stack_[frame.start + i].Key();
    std::memcpy(place->Order(), order, count * sizeof(uint32_t));
}

void TreeBuilder::CloseStructure(Frame& frame, BindingProperty& target) {
    // Its shape stays whole while this runs: only Remember, below, replaces
    // shapes, and not on the path that reads this one.
    Shape* shape = frame.shape;
    if (shape != nullptr) --frame.shape->users;
    frame.shape = nullptr;
    const uint32_t count = top_ - frame.start;
    const Slot* entries = stack_ + frame.start;
    if (frame.stamped) {
        for (uint32_t i = count; i-- > 0;) slotOfName_[entries[i].Key()] = keptSlot_[frame.start + i];
    }
    BindingProperty::Members* members = BindingPropertyAccess::EmptyMembers();
    if (count != 0) {
        members = BindingPropertyAccess::NewMembers(arena_, count, false);
        Slot* slots = members->Slots();
        const uint32_t* order = nullptr;
        bool sorted;
        if (frame.matched == count && count == shape->count) {
            sorted = shape->sorted;
            order = shape->Order();
        } else {
            if (scratchSize_ < count) {
                scratch_ = Regrow(scratch_, 0, count);
                scratchSize_ = count;
            }
            sorted = SortOrder(entries, count, arena_, scratch_);
            order = scratch_;
            if (!frame.repeated && count <= kLargestShape) Remember(frame, order, sorted);
        }
        if (sorted) {
            std::memcpy(static_cast<void*>(slots), entries, count * sizeof(Slot));
        } else {
            for (uint32_t i = 0; i < count; ++i) std::memcpy(static_cast<void*>(&slots[i]), &entries[order[i]], sizeof(Slot));
        }
        members->size_ = count;
    }
    target.payload_.structure = members;
    target.kind_ = BindingKind::Structure;
}

void TreeBuilder::CloseCollection(const Frame& frame, BindingProperty& target) {
    const uint32_t count = top_ - frame.start;
    const Slot* entries = stack_ + frame.start;
    BindingPropertyAccess::CollectionBody* body = BindingPropertyAccess::EmptyCollection();
    if (count != 0) {
        body = static_cast<BindingPropertyAccess::CollectionBody*>(
            arena_->Allocate(BindingPropertyAccess::CollectionBytes(count)));
        body->size = count;
        body->capacity = count;
        BindingProperty* elements = body->Data();
        if constexpr (sizeof(Slot) == sizeof(BindingProperty)) {
            std::memcpy(static_cast<void*>(elements), entries, count * sizeof(Slot));
        } else {
            for (uint32_t i = 0; i < count; ++i) {
                std::memcpy(static_cast<void*>(&elements[i]), &entries[i].value, sizeof(BindingProperty));
            }
        }
    }
    target.payload_.collection = body;
    target.kind_ = BindingKind::Collection;
}

void TreeBuilder::End() {
    Frame& frame = frames_[depth_ - 1];
    if (frame.fresh) {
        BindingProperty& target = Resolve(frame.place);
        if (frame.structure) {
            CloseStructure(frame, target);
        } else {
            CloseCollection(frame, target);
        }
        top_ = frame.start;
    }
    --depth_;
}

void TreeBuilder::Finish() {
    while (depth_ != 0) End();
}

void TreeBuilder::Discard() {
    // The root owns the arena, and all that was built lives there.
    if (arena_ != nullptr) arena_->Clear();
    root_.kind_ = BindingKind::Empty;
    root_.payload_.u = 0;
    top_ = 0;
    depth_ = 0;
}

}  // namespace Vorn

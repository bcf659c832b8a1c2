#pragma once
// The storage of one value tree, owned by the tree's root.
//
// Small blocks come from per-size-class pools: sizes are rounded up to the
// block granule (4 bytes on 32-bit targets, 8 on 64-bit ones, so that every
// block is aligned for the values stored in it); classes 0-17 hold 4 to 72
// bytes (class = size / 4 - 1). Each of those classes starts with a 144-byte
// page inside the arena and then draws 4096-byte pages from the process-wide
// page pool. Larger bodies (long strings, child arrays, bucket arrays) use
// further classes up to 1008 bytes on pool pages as well, and beyond that the
// counting heap.
//
// A page starts with a header: the links of its class's page lists, its size,
// the number of blocks in use, the first freed block and where its untouched
// blocks begin. Freed blocks are chained by 16-bit block indices stored in
// the blocks; index 0 ends the chain, and the first usable index leaves room
// for the header. Blocks never handed out are not chained: they are taken
// from the page's untouched end, so a new page is not written through before
// its first block is used, and taking a block reads nothing from it (reading
// canada, 56,000 small arrays: closing them, where their blocks are taken,
// went from 11 % to 7 % of the read). A block's page is found by masking its
// address down to the 4096-byte boundary. A 4096-byte page whose last block
// is freed goes back to the pool at once.
//
// Members' names are interned per arena: equal texts are stored once and
// counted. Each entry has a number (its id, 0 for the shared empty string)
// and a table of entries by id lets a structure name its members by 32-bit
// ids. String values are counted blocks of the same layout outside the
// table (NewText): nothing looks a value up by its text, and interning every
// value a reader meets cost a probe of a table that outgrows the caches on
// large documents (the tree builder shares the texts it meets again in a
// small table of its own instead).
// The intern table is open-addressed with 8-byte slots (the text's
// TextTableHash and the entry's id) and at most three quarters full: a probe
// run stays within a cache line or two, and a lookup compares an entry's
// text only when the 32-bit hashes agree. (Entries were found by their
// FNV-1a hash and the slots held pointers; hashing a word at a time and
// numbering the entries made reading a document half as costly per string.
// The table was kept at most half full; a larger tree then spent a third of
// its building on doubling the table, whose memory traffic outweighs the
// longer probe runs: 10,000 members with string values, 1.23 -> 0.82 ms.)
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "binding/interned_string.h"

namespace Vorn {

namespace ValueArenaClasses {

inline constexpr std::size_t kCount = 11;
inline constexpr uint16_t kExtendedClassSizes[kCount] = {88, 104, 128, 160, 192, 256, 320, 400, 512, 680, 1008};

// The extended class of each size up to 1008 bytes, by (size - 1) / 8.
constexpr std::array<uint8_t, 126> MakeExtendedClassTable() {
    std::array<uint8_t, 126> table{};
    for (std::size_t i = 0; i < table.size(); ++i) {
        uint8_t c = 0;
        while (kExtendedClassSizes[c] < (i + 1) * 8) ++c;
        table[i] = c;
    }
    return table;
}
inline constexpr std::array<uint8_t, 126> kExtendedClassOf = MakeExtendedClassTable();

}  // namespace ValueArenaClasses

class ValueArena {
public:
    static constexpr std::size_t kGranule = alignof(double) > alignof(void*) ? alignof(double) : alignof(void*);
    static constexpr std::size_t kSmallClasses = 18;       // 4 .. 72 bytes
    static constexpr std::size_t kLargestSmallBlock = 72;
    static constexpr std::size_t kInlinePageSize = 144;
    static constexpr std::size_t kExtendedClasses = 11;    // 88 .. 1008 bytes
    static constexpr std::size_t kLargestPooledBlock = 1008;
    // Heap blocks from this size on are offered large pages.
    static constexpr std::size_t kLargePageAdvice = std::size_t{4} << 20;

    // The header each page starts with; only the allocator reads it.
    struct PageHeader {
        PageHeader* next;
        PageHeader* previous;
        uint16_t pageSize;
        uint16_t used;
        uint16_t firstFree;  // 0: no freed block
        uint16_t untouched;  // byte offset of the first block never handed out
    };

    static ValueArena* Create();
    static void Destroy(ValueArena* arena);

    ValueArena(const ValueArena&) = delete;
    ValueArena& operator=(const ValueArena&) = delete;

    // Blocks of any size; Free must be given the size that was asked for.
    void* Allocate(std::size_t bytes) {
        if (bytes > kLargestPooledBlock) return AllocateHeap(bytes);
        const std::size_t index = ClassOf(bytes);
        PageHeader* page = classes_[index].withRoom;
        // The common cases: a page that keeps room after this block, which
        // is a freed one or the next untouched one.
        if (page != nullptr) {
            const std::size_t size = classes_[index].blockSize;
            auto* base = reinterpret_cast<unsigned char*>(page);
            if (page->firstFree != 0) {
                unsigned char* block = base + std::size_t{page->firstFree} * size;
                const uint16_t next = *reinterpret_cast<const uint16_t*>(block);
                if (next != 0 || page->untouched + size <= page->pageSize) {
                    page->firstFree = next;
                    ++page->used;
                    return block;
                }
            } else if (page->untouched + 2 * size <= page->pageSize) {
                unsigned char* block = base + page->untouched;
                page->untouched = static_cast<uint16_t>(page->untouched + size);
                ++page->used;
                return block;
            }
        }
        return AllocateFromClass(index);
    }
    void Free(void* block, std::size_t bytes);

    // Interning: returns the entry for the text with one more reference (the
    // shared empty entry for an empty text). When fresh is given, it tells
    // whether the entry was created by this call.
    InternedString* Intern(std::string_view text, bool* fresh = nullptr);
    void AddReference(InternedString* entry);
    void Release(InternedString* entry);
    InternedString* FindInterned(std::string_view text) const;
    static InternedString* EmptyString();
    // A value's text: a counted entry of its own with the id kLooseId, not
    // entered in the intern table (the shared empty entry for an empty text).
    static constexpr uint32_t kLooseId = UINT32_MAX;
    InternedString* NewText(std::string_view text);
    // How many values' texts have been freed so far (Clear counts as one):
    // while it stays the same, a text entry seen earlier is still held.
    std::size_t TextsFreed() const { return textsFreed_; }
    // How many entries have been freed so far: while it stays the same, an
    // id that was looked up names the same text as before.
    std::size_t EntriesFreed() const { return entriesFreed_; }
    // The entry numbered id, which must be held.
    InternedString* StringAt(uint32_t id) const { return strings_[id]; }
    // The entry numbered id if one is held under that number, else null.
    InternedString* LiveStringAt(uint32_t id) const {
        if (id >= stringsUsed_) return nullptr;
        InternedString* entry = strings_[id];
        return (reinterpret_cast<uintptr_t>(entry) & 1) == 0 ? entry : nullptr;
    }

    // Structures built member by member mostly repeat one shape (records in a
    // list): the name last given to the member at each position is kept, so
    // the next structure's name there is found by comparing one text rather
    // than hashing it (building 100,000 four-member records, regions kept:
    // 11.8 ms before, 10.8 ms after). Returns that entry with one more
    // reference when it holds exactly name, else null.
    InternedString* HintedName(std::size_t position, std::string_view name) {
        if (position >= kNameHints) return nullptr;
        InternedString* entry = LiveStringAt(nameHints_[position]);
        if (entry == nullptr || entry->length != name.size() || entry->id == 0 ||
            !SameText(entry->Text(), name.data(), name.size())) {
            return nullptr;
        }
        ++entry->references;
        return entry;
    }
    void RememberName(std::size_t position, const InternedString* entry) {
        if (position < kNameHints) nameHints_[position] = entry->id;
    }

    // Frees everything at once: pages back to the pool, heap blocks to the
    // heap, an empty intern table. Nothing allocated before may be used after.
    void Clear();

    struct Statistics {
        std::size_t pagesHeld;      // 4096-byte pages from the pool
        std::size_t heapBlocks;     // blocks above the largest pooled class
        std::size_t internedStrings;
        std::size_t looseStrings;   // values' texts (NewText)
        std::size_t blocksInUse;    // pooled blocks, inline pages included
    };
    Statistics Stats() const;

private:
    struct SizeClass {
        PageHeader* withRoom;  // pages with a free block, most recently freed into first
        PageHeader* full;      // pages without one, kept so Clear can find them
        uint16_t blockSize;
    };
    struct HeapBlock {
        HeapBlock* previous;
        HeapBlock* next;
        alignas(16) unsigned char data[1];
    };
    struct Slot {
        uint32_t hash;
        uint32_t id;  // 0: free
    };
    static constexpr std::size_t kInlineStrings = 8;
    static constexpr std::size_t kNameHints = 16;

    ValueArena();
    ~ValueArena();

    static std::size_t ClassOf(std::size_t bytes) {
        if (bytes <= kLargestSmallBlock) {
            const std::size_t rounded = bytes == 0 ? kGranule : (bytes + kGranule - 1) & ~(kGranule - 1);
            return rounded / 4 - 1;
        }
        return kSmallClasses + ValueArenaClasses::kExtendedClassOf[(bytes - 1) / 8];
    }

    void* AllocateFromClass(std::size_t index);
    void FreeToClass(std::size_t index, void* block);
    PageHeader* PageOf(std::size_t index, void* block);
    void InitPage(PageHeader* page, std::size_t pageSize, uint16_t blockSize);
    void InitInlinePages();
    void* AllocateHeap(std::size_t bytes);
    void FreeHeap(void* block);
    void GrowTable();
    void GrowStrings();
    Slot* FindSlot(std::string_view text, uint32_t hash) const;
    // A counted entry holding text, its id not yet set.
    InternedString* NewEntry(std::string_view text);
    // A new interned entry; slot is the free slot the lookup ended on, or null.
    InternedString* Insert(std::string_view text, uint32_t hash, Slot* slot);
    void ReleaseEverything();

    SizeClass classes_[kSmallClasses + kExtendedClasses];
    alignas(16) unsigned char inlinePages_[kSmallClasses][kInlinePageSize];
    HeapBlock* heapBlocks_ = nullptr;
    std::size_t pagesHeld_ = 0;
    std::size_t heapBlockCount_ = 0;
    Slot* slots_ = nullptr;
    std::size_t slotCount_ = 0;  // a power of two, at least 8; at most three quarters full
    std::size_t internedCount_ = 0;
    std::size_t looseCount_ = 0;
    std::size_t textsFreed_ = 0;
    // Entries by id. Free ids are chained through their places (odd values:
    // the next free id, shifted left by one); freeId_ 0 ends the chain.
    InternedString** strings_;
    uint32_t stringCapacity_ = kInlineStrings;
    uint32_t stringsUsed_ = 1;  // ids handed out so far, the empty string's included
    uint32_t freeId_ = 0;
    InternedString* inlineStrings_[kInlineStrings];
    uint32_t nameHints_[kNameHints] = {};  // ids; 0 or a freed id: no hint
    std::size_t entriesFreed_ = 0;
};

inline void ValueArena::Free(void* block, std::size_t bytes) {
    if (block == nullptr) return;
    if (bytes > kLargestPooledBlock) {
        FreeHeap(block);
    } else {
        FreeToClass(ClassOf(bytes), block);
    }
}

inline InternedString* ValueArena::Intern(std::string_view text, bool* fresh) {
    if (fresh != nullptr) *fresh = false;
    if (text.empty()) return EmptyString();
    const uint32_t hash = TextTableHash(text.data(), text.size());
    Slot* slot = nullptr;
    if (slots_ != nullptr) {
        slot = FindSlot(text, hash);
        if (slot->id != 0) {
            InternedString* entry = strings_[slot->id];
            ++entry->references;
            return entry;
        }
    }
    if (fresh != nullptr) *fresh = true;
    return Insert(text, hash, slot);
}

inline ValueArena::Slot* ValueArena::FindSlot(std::string_view text, uint32_t hash) const {
    // Linear probing: the slot holding the text, or the free slot where it goes.
    const std::size_t mask = slotCount_ - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        Slot* slot = &slots_[i];
        if (slot->id == 0) return slot;
        if (slot->hash == hash) {
            const InternedString* entry = strings_[slot->id];
            if (entry->length == text.size() && SameText(entry->Text(), text.data(), text.size())) return slot;
        }
    }
}

// Lets standard containers keep their nodes in a value arena.
template <typename T>
class ArenaAllocator {
public:
    using value_type = T;

    explicit ArenaAllocator(ValueArena* arena) noexcept : arena_(arena) {}
    template <typename U>
    ArenaAllocator(const ArenaAllocator<U>& other) noexcept : arena_(other.arena()) {}

    T* allocate(std::size_t n) { return static_cast<T*>(arena_->Allocate(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) noexcept { arena_->Free(p, n * sizeof(T)); }

    ValueArena* arena() const noexcept { return arena_; }
    template <typename U>
    bool operator==(const ArenaAllocator<U>& other) const noexcept {
        return arena_ == other.arena();
    }

private:
    ValueArena* arena_;
};

}  // namespace Vorn

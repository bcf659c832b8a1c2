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
// the number of blocks in use and the first free block. Free blocks are
// chained by 16-bit block indices stored in the blocks; index 0 ends the
// chain, and the first usable index leaves room for the header. A block's
// page is found by masking its address down to the 4096-byte boundary. A
// 4096-byte page whose last block is freed goes back to the pool at once.
//
// Strings are interned per arena: equal texts are stored once and counted.
// The intern table is open-addressed and keeps each entry's hash beside its
// pointer, so a lookup of a new text usually reads one slot and no entry.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "binding/interned_string.h"

namespace Vorn {

class ValueArena {
public:
    static constexpr std::size_t kGranule = alignof(double) > alignof(void*) ? alignof(double) : alignof(void*);
    static constexpr std::size_t kSmallClasses = 18;       // 4 .. 72 bytes
    static constexpr std::size_t kLargestSmallBlock = 72;
    static constexpr std::size_t kInlinePageSize = 144;
    static constexpr std::size_t kExtendedClasses = 11;    // 88 .. 1008 bytes
    static constexpr std::size_t kLargestPooledBlock = 1008;

    // The header each page starts with; only the allocator reads it.
    struct PageHeader;

    static ValueArena* Create();
    static void Destroy(ValueArena* arena);

    ValueArena(const ValueArena&) = delete;
    ValueArena& operator=(const ValueArena&) = delete;

    // Blocks of any size; Free must be given the size that was asked for.
    void* Allocate(std::size_t bytes);
    void Free(void* block, std::size_t bytes);

    // Interning: returns the entry for the text with one more reference (the
    // shared empty entry for an empty text).
    InternedString* Intern(std::string_view text);
    void AddReference(InternedString* entry);
    void Release(InternedString* entry);
    InternedString* FindInterned(std::string_view text) const;
    static InternedString* EmptyString();

    // Frees everything at once: pages back to the pool, heap blocks to the
    // heap, an empty intern table. Nothing allocated before may be used after.
    void Clear();

    struct Statistics {
        std::size_t pagesHeld;      // 4096-byte pages from the pool
        std::size_t heapBlocks;     // blocks above the largest pooled class
        std::size_t internedStrings;
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

    ValueArena();
    ~ValueArena();

    static std::size_t ClassOf(std::size_t bytes);
    void* AllocateFromClass(std::size_t index);
    void FreeToClass(std::size_t index, void* block);
    PageHeader* PageOf(std::size_t index, void* block);
    void InitPage(PageHeader* page, std::size_t pageSize, uint16_t blockSize);
    void* AllocateHeap(std::size_t bytes);
    void FreeHeap(void* block);
    struct Slot {
        uint32_t hash;
        InternedString* entry;  // null: free
    };
    void GrowTable();
    Slot* FindSlot(std::string_view text, uint32_t hash) const;
    void ReleaseEverything();

    SizeClass classes_[kSmallClasses + kExtendedClasses];
    alignas(16) unsigned char inlinePages_[kSmallClasses][kInlinePageSize];
    HeapBlock* heapBlocks_ = nullptr;
    std::size_t pagesHeld_ = 0;
    std::size_t heapBlockCount_ = 0;
    Slot* slots_ = nullptr;
    std::size_t slotCount_ = 0;  // a power of two, at least 8; at most half full
    std::size_t internedCount_ = 0;
};

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

#include "binding/value_arena.h"

#include <cstddef>
#include <cstring>
#include <iterator>
#include <new>
#include <stdexcept>

#include "binding/page_pool.h"
#include "platform/page_region.h"
#include "support/memory_hooks.h"

namespace Vorn {

namespace {

using ValueArenaClasses::kExtendedClassSizes;
constexpr std::size_t kPoolPageSize = PagePool::kPageSize;
constexpr std::size_t kHeaderSize = sizeof(ValueArena::PageHeader);

static_assert(std::size(kExtendedClassSizes) == ValueArena::kExtendedClasses, "one size per extended class");
static_assert(sizeof(void*) != 4 || kHeaderSize == 16, "the page header is 16 bytes on 32-bit targets");
static_assert(kExtendedClassSizes[ValueArena::kExtendedClasses - 1] == ValueArena::kLargestPooledBlock);

struct EmptyEntry {
    InternedString header;
    char text[1];
};
// Shared by every arena; its count stays 0, its id is 0 in every arena, and
// it is never freed.
EmptyEntry g_emptyString{{{}, 0, 0, 0}, {'\0'}};

// Free ids are kept in the table of entries as odd values.
InternedString* FreeIdLink(uint32_t next) {
    return reinterpret_cast<InternedString*>((static_cast<uintptr_t>(next) << 1) | 1);
}
uint32_t NextFreeId(const InternedString* link) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(link) >> 1); }


uint16_t& ChainLink(void* block) { return *static_cast<uint16_t*>(block); }

// No freed block and no untouched one left.
bool IsFull(const ValueArena::PageHeader* page, std::size_t blockSize) {
    return page->firstFree == 0 && page->untouched + blockSize > page->pageSize;
}

std::size_t EntrySize(std::size_t length) { return sizeof(InternedString) + length + 1; }

}  // namespace

ValueArena* ValueArena::Create() {
    void* memory = Vorn::Allocate(sizeof(ValueArena));
    if (memory == nullptr) throw std::bad_alloc();
    return new (memory) ValueArena();
}

void ValueArena::Destroy(ValueArena* arena) {
    if (arena == nullptr) return;
    arena->~ValueArena();
    Vorn::Free(arena);
}

ValueArena::ValueArena() : strings_(inlineStrings_) {
    for (std::size_t i = 0; i < kSmallClasses + kExtendedClasses; ++i) {
        classes_[i].withRoom = nullptr;
        classes_[i].full = nullptr;
        classes_[i].blockSize =
            static_cast<uint16_t>(i < kSmallClasses ? (i + 1) * 4 : kExtendedClassSizes[i - kSmallClasses]);
    }
    InitInlinePages();
    inlineStrings_[0] = EmptyString();
}

ValueArena::~ValueArena() { ReleaseEverything(); }

void ValueArena::InitInlinePages() {
    for (std::size_t i = 0; i < kSmallClasses; ++i) {
        if (classes_[i].blockSize % kGranule != 0) continue;  // sizes this target never asks for
        auto* page = reinterpret_cast<PageHeader*>(inlinePages_[i]);
        InitPage(page, kInlinePageSize, classes_[i].blockSize);
        classes_[i].withRoom = page;
    }
}

void ValueArena::InitPage(PageHeader* page, std::size_t pageSize, uint16_t blockSize) {
    const std::size_t first = (kHeaderSize + blockSize - 1) / blockSize;
    page->next = nullptr;
    page->previous = nullptr;
    page->pageSize = static_cast<uint16_t>(pageSize);
    page->used = 0;
    page->firstFree = 0;
    page->untouched = static_cast<uint16_t>(first * blockSize);
}

namespace {

void PushFront(ValueArena::PageHeader*& head, ValueArena::PageHeader* page) {
    page->previous = nullptr;
    page->next = head;
    if (head != nullptr) head->previous = page;
    head = page;
}

void Unlink(ValueArena::PageHeader*& head, ValueArena::PageHeader* page) {
    if (page->previous != nullptr) {
        page->previous->next = page->next;
    } else {
        head = page->next;
    }
    if (page->next != nullptr) page->next->previous = page->previous;
    page->next = nullptr;
    page->previous = nullptr;
}

}  // namespace

void* ValueArena::AllocateFromClass(std::size_t index) {
    SizeClass& sizeClass = classes_[index];
    const std::size_t size = sizeClass.blockSize;
    PageHeader* page = sizeClass.withRoom;
    if (page == nullptr) {
        page = static_cast<PageHeader*>(PagePool::Instance().TakePage());
        ++pagesHeld_;
        InitPage(page, kPoolPageSize, sizeClass.blockSize);
        sizeClass.withRoom = page;
    }
    auto* base = reinterpret_cast<unsigned char*>(page);
    unsigned char* block;
    if (page->firstFree != 0) {
        block = base + std::size_t{page->firstFree} * size;
        page->firstFree = ChainLink(block);
    } else {
        block = base + page->untouched;
        page->untouched = static_cast<uint16_t>(page->untouched + size);
    }
    ++page->used;
    if (IsFull(page, size)) {
        Unlink(sizeClass.withRoom, page);
        PushFront(sizeClass.full, page);
    }
    return block;
}

ValueArena::PageHeader* ValueArena::PageOf(std::size_t index, void* block) {
    auto* address = static_cast<unsigned char*>(block);
    if (index < kSmallClasses && address >= inlinePages_[index] && address < inlinePages_[index] + kInlinePageSize) {
        return reinterpret_cast<PageHeader*>(inlinePages_[index]);
    }
    return reinterpret_cast<PageHeader*>(reinterpret_cast<uintptr_t>(block) & ~(uintptr_t{kPoolPageSize} - 1));
}

void ValueArena::FreeToClass(std::size_t index, void* block) {
    SizeClass& sizeClass = classes_[index];
    PageHeader* page = PageOf(index, block);
    const bool wasFull = IsFull(page, sizeClass.blockSize);
    auto offset = static_cast<std::size_t>(static_cast<unsigned char*>(block) - reinterpret_cast<unsigned char*>(page));
    ChainLink(block) = page->firstFree;
    page->firstFree = static_cast<uint16_t>(offset / sizeClass.blockSize);
    --page->used;
    if (page->used == 0 && page->pageSize == kPoolPageSize) {
        Unlink(wasFull ? sizeClass.full : sizeClass.withRoom, page);
        PagePool::Instance().ReturnPage(page);
        --pagesHeld_;
    } else if (wasFull) {
        Unlink(sizeClass.full, page);
        PushFront(sizeClass.withRoom, page);
    }
}

void* ValueArena::AllocateHeap(std::size_t bytes) {
    if (bytes > SIZE_MAX - offsetof(HeapBlock, data)) throw std::bad_alloc();
    auto* block = static_cast<HeapBlock*>(Vorn::Allocate(offsetof(HeapBlock, data) + bytes));
    if (block == nullptr) throw std::bad_alloc();
    block->previous = nullptr;
    block->next = heapBlocks_;
    if (heapBlocks_ != nullptr) heapBlocks_->previous = block;
    heapBlocks_ = block;
    ++heapBlockCount_;
    // The tables of a large tree (names, entries, member arrays) are read
    // at random: large pages spare the misses of the address translation.
    if (bytes >= kLargePageAdvice) Platform::AdviseLargePages(block->data, bytes);
    return block->data;
}

void ValueArena::FreeHeap(void* data) {
    auto* block = reinterpret_cast<HeapBlock*>(static_cast<unsigned char*>(data) - offsetof(HeapBlock, data));
    if (block->previous != nullptr) {
        block->previous->next = block->next;
    } else {
        heapBlocks_ = block->next;
    }
    if (block->next != nullptr) block->next->previous = block->previous;
    --heapBlockCount_;
    Vorn::Free(block);
}

InternedString* ValueArena::EmptyString() { return &g_emptyString.header; }

InternedString* ValueArena::FindInterned(std::string_view text) const {
    if (text.empty()) return EmptyString();
    if (slots_ == nullptr) return nullptr;
    const Slot* slot = FindSlot(text, TextTableHash(text.data(), text.size()));
    return slot->id != 0 ? strings_[slot->id] : nullptr;
}

InternedString* ValueArena::NewEntry(std::string_view text) {
    if (text.size() > UINT32_MAX - sizeof(InternedString) - 1) throw std::length_error("string too long");
    auto* entry = static_cast<InternedString*>(Allocate(EntrySize(text.size())));
    entry->references = 1;
    entry->length = static_cast<uint32_t>(text.size());
    auto* chars = reinterpret_cast<char*>(entry + 1);
    std::memcpy(chars, text.data(), text.size());
    chars[text.size()] = '\0';
    return entry;
}

InternedString* ValueArena::Insert(std::string_view text, uint32_t hash, Slot* slot) {
    if (text.size() > UINT32_MAX - sizeof(InternedString) - 1) throw std::length_error("string too long");
    if (slots_ == nullptr || (internedCount_ + 1) * 4 > slotCount_ * 3) {
        GrowTable();
        slot = nullptr;
    }
    if (freeId_ == 0 && stringsUsed_ == stringCapacity_) GrowStrings();
    if (slot == nullptr) slot = FindSlot(text, hash);
    InternedString* entry = NewEntry(text);
    uint32_t id;
    if (freeId_ != 0) {
        id = freeId_;
        freeId_ = NextFreeId(strings_[id]);
    } else {
        id = stringsUsed_++;
    }
    entry->id = id;
    strings_[id] = entry;
    slot->hash = hash;
    slot->id = id;
    ++internedCount_;
    return entry;
}

InternedString* ValueArena::NewText(std::string_view text) {
    if (text.empty()) return EmptyString();
    InternedString* entry = NewEntry(text);
    entry->id = kLooseId;
    ++looseCount_;
    return entry;
}

void ValueArena::AddReference(InternedString* entry) {
    if (entry != EmptyString()) ++entry->references;
}

void ValueArena::Release(InternedString* entry) {
    if (entry == EmptyString() || --entry->references != 0) return;
    if (entry->id == kLooseId) {
        --looseCount_;
        ++textsFreed_;
        Free(entry, EntrySize(entry->length));
        return;
    }
    // Remove by shifting back the entries of the probe run that follows, so
    // lookups never need tombstones.
    const std::size_t mask = slotCount_ - 1;
    const uint32_t hash = TextTableHash(entry->Text(), entry->length);
    std::size_t hole = static_cast<std::size_t>(hash) & mask;
    while (slots_[hole].id != entry->id) hole = (hole + 1) & mask;
    for (std::size_t i = (hole + 1) & mask; slots_[i].id != 0; i = (i + 1) & mask) {
        const std::size_t home = slots_[i].hash & mask;
        // The entry at i may fill the hole when its home is not in (hole, i].
        if (((i - home) & mask) >= ((i - hole) & mask)) {
            slots_[hole] = slots_[i];
            hole = i;
        }
    }
    slots_[hole].id = 0;
    --internedCount_;
    strings_[entry->id] = FreeIdLink(freeId_);
    freeId_ = entry->id;
    ++entriesFreed_;
    Free(entry, EntrySize(entry->length));
    if (internedCount_ == 0) {
        // An emptied tree holds nothing, not even its tables.
        Free(slots_, slotCount_ * sizeof(Slot));
        slots_ = nullptr;
        slotCount_ = 0;
        if (strings_ != inlineStrings_) Free(strings_, stringCapacity_ * sizeof(InternedString*));
        strings_ = inlineStrings_;
        stringCapacity_ = kInlineStrings;
        stringsUsed_ = 1;
        freeId_ = 0;
    }
}

void ValueArena::GrowTable() {
    const std::size_t count = slotCount_ == 0 ? 8 : slotCount_ * 2;
    auto* slots = static_cast<Slot*>(Allocate(count * sizeof(Slot)));
    std::memset(static_cast<void*>(slots), 0, count * sizeof(Slot));
    for (std::size_t i = 0; i < slotCount_; ++i) {
        if (slots_[i].id == 0) continue;
        std::size_t j = slots_[i].hash & (count - 1);
        while (slots[j].id != 0) j = (j + 1) & (count - 1);
        slots[j] = slots_[i];
    }
    if (slots_ != nullptr) Free(slots_, slotCount_ * sizeof(Slot));
    slots_ = slots;
    slotCount_ = count;
}

void ValueArena::GrowStrings() {
    if (stringCapacity_ > UINT32_MAX / 2) throw std::length_error("too many strings");
    const uint32_t capacity = stringCapacity_ * 2;
    auto* strings = static_cast<InternedString**>(Allocate(capacity * sizeof(InternedString*)));
    std::memcpy(static_cast<void*>(strings), strings_, stringsUsed_ * sizeof(InternedString*));
    if (strings_ != inlineStrings_) Free(strings_, stringCapacity_ * sizeof(InternedString*));
    strings_ = strings;
    stringCapacity_ = capacity;
}

void ValueArena::ReleaseEverything() {
    PagePool& pool = PagePool::Instance();
    for (SizeClass& sizeClass : classes_) {
        for (PageHeader* list : {sizeClass.withRoom, sizeClass.full}) {
            while (list != nullptr) {
                PageHeader* next = list->next;
                if (list->pageSize == kPoolPageSize) pool.ReturnPage(list);
                list = next;
            }
        }
        sizeClass.withRoom = nullptr;
        sizeClass.full = nullptr;
    }
    while (heapBlocks_ != nullptr) {
        HeapBlock* next = heapBlocks_->next;
        Vorn::Free(heapBlocks_);
        heapBlocks_ = next;
    }
    pagesHeld_ = 0;
    heapBlockCount_ = 0;
    slots_ = nullptr;
    slotCount_ = 0;
    internedCount_ = 0;
    looseCount_ = 0;
    ++textsFreed_;
    strings_ = inlineStrings_;
    stringCapacity_ = kInlineStrings;
    stringsUsed_ = 1;
    freeId_ = 0;
    std::memset(nameHints_, 0, sizeof(nameHints_));
}

void ValueArena::Clear() {
    ReleaseEverything();
    InitInlinePages();
}

ValueArena::Statistics ValueArena::Stats() const {
    std::size_t blocks = 0;
    for (const SizeClass& sizeClass : classes_) {
        for (const PageHeader* list : {sizeClass.withRoom, sizeClass.full}) {
            for (const PageHeader* page = list; page != nullptr; page = page->next) blocks += page->used;
        }
    }
    return Statistics{pagesHeld_, heapBlockCount_, internedCount_, looseCount_, blocks};
}

}  // namespace Vorn

#pragma once
// Allocation counting shared by the benchmarks: every implementation's heap
// use goes through the library's counting hooks, so "system allocations per
// tree" means the same thing for all of them.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "binding/page_pool.h"
#include "support/memory_hooks.h"

namespace VornBench {

// A RapidJSON base allocator on the counting heap.
class CountingRapidJsonAllocator {
public:
    static const bool kNeedFree = true;
    void* Malloc(std::size_t size) { return size != 0 ? Vorn::Allocate(size) : nullptr; }
    void* Realloc(void* original, std::size_t, std::size_t newSize) {
        if (newSize == 0) {
            Vorn::Free(original);
            return nullptr;
        }
        return Vorn::Reallocate(original, newSize);
    }
    static void Free(void* block) { Vorn::Free(block); }
    bool operator==(const CountingRapidJsonAllocator&) const { return true; }
    bool operator!=(const CountingRapidJsonAllocator&) const { return false; }
};

// Heap allocations and page-pool regions taken since construction.
class AllocationProbe {
public:
    AllocationProbe()
        : heap_(Vorn::ModuleMemoryCounters().allocations.load()),
          regions_(Vorn::PagePool::Instance().Stats().regionsReserved) {}

    uint64_t HeapAllocations() const { return Vorn::ModuleMemoryCounters().allocations.load() - heap_; }
    uint64_t Regions() const { return Vorn::PagePool::Instance().Stats().regionsReserved - regions_; }
    uint64_t SystemAllocations() const { return HeapAllocations() + Regions(); }

private:
    uint64_t heap_;
    uint64_t regions_;
};

// The bytes held by what is built while a probe lives: blocks on the
// counting heap plus pages taken from the value page pool (what the pool
// takes from the system is charged by the page, as trees hold it).
class FootprintProbe {
public:
    FootprintProbe() : heap_(HeapInUse()), pages_(PagesInUse()) {}

    uint64_t Bytes() const {
        return (HeapInUse() - heap_) + (PagesInUse() - pages_) * Vorn::PagePool::kPageSize;
    }

private:
    static uint64_t HeapInUse() {
        return Vorn::ModuleMemoryCounters().bytesAllocated.load() - Vorn::ModuleMemoryCounters().bytesFreed.load();
    }
    static uint64_t PagesInUse() {
        const Vorn::PagePool::Statistics pool = Vorn::PagePool::Instance().Stats();
        return pool.regionsHeld * Vorn::PagePool::kPagesPerRegion - pool.freePages;
    }

    uint64_t heap_;
    uint64_t pages_;
};

}  // namespace VornBench

#pragma once
// The process-wide pool of 4096-byte pages behind every value arena. It takes
// 64 KiB regions from the operating system, cuts each into sixteen pages,
// hands free pages out last-in first-out, and releases a region as soon as
// all sixteen of its pages are free again. Every operation takes the pool's
// mutex, so trees may be built and dropped on several threads at once.
//
// A process that builds and drops large trees in a loop may keep some wholly
// free regions for reuse instead (SetRetainedRegions); by default none are
// kept, so memory goes back to the system as soon as it is free.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "platform/page_region.h"

namespace Vorn {

class PagePool {
public:
    static constexpr std::size_t kPageSize = Platform::kPageSize;
    static constexpr std::size_t kPagesPerRegion = Platform::kRegionSize / Platform::kPageSize;

    static PagePool& Instance();

    // A 4096-byte-aligned page; throws std::bad_alloc when the system refuses.
    void* TakePage();
    void ReturnPage(void* page);

    // How many wholly free regions to keep rather than release (default 0).
    // Lowering it releases the surplus at once.
    void SetRetainedRegions(std::size_t count);

    struct Statistics {
        std::size_t regionsHeld;
        std::size_t freePages;
        std::size_t retainedRegions;  // wholly free regions kept
        uint64_t regionsReserved;  // since the process started
        uint64_t regionsReleased;
    };
    Statistics Stats() const;

private:
    PagePool() = default;

    struct FreePage {
        FreePage* previous;
        FreePage* next;
    };

    void PushFront(FreePage* page);
    void Unlink(FreePage* page);
    void ReleaseRegion(uintptr_t base);

    mutable std::mutex mutex_;
    FreePage* head_ = nullptr;                          // LIFO list of free pages
    std::unordered_map<uintptr_t, uint32_t> regions_;   // region base -> free pages in it
    std::size_t freePages_ = 0;
    std::size_t whollyFree_ = 0;      // regions with all sixteen pages free
    std::size_t retainLimit_ = 0;
    uint64_t reserved_ = 0;
    uint64_t released_ = 0;
};

}  // namespace Vorn

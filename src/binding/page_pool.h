#pragma once
// The process-wide pool of 4096-byte pages behind every value arena. It takes
// 64 KiB regions from the operating system, cuts each into sixteen pages and
// hands free pages out last-in first-out. Every operation takes the pool's
// mutex, so trees may be built and dropped on several threads at once.
//
// When all sixteen pages of a region are free again, the region either goes
// into the reserve or back to the system. The reserve is a fixed cap: at most
// SetRetainedRegions(n) wholly free regions are kept (n x 64 KiB), and any
// region freed beyond the cap is released at once. Taking a page prefers free
// pages already held, reserve included, so a loop that builds and drops trees
// no larger than the reserve pays the system nothing after its first tree;
// larger trees pay for what lies beyond the cap. The pool on its own keeps no
// reserve (n = 0: every free region is released at once); the plug-in runtime
// keeps kPluginReserve regions (4 MiB) while a plug-in runs and hands them all
// back when it stops (ReleaseReserve). Only when memory goes back to the
// system changes; what a page holds does not.
//
// Beyond the fixed cap the pool can follow recent use (FollowRecentPeak): it
// then keeps as many wholly free regions as bring the regions it holds up to
// the most that were in use in the current or the previous window (one
// second), never more than the ceiling. A loop of trees larger than the fixed
// cap stops paying the system once it has built its first tree; after a burst
// the surplus goes back within two windows, checked whenever a region falls
// wholly free or a new one is taken (an idle pool keeps what it has until its
// next use or ReleaseReserve). The runtime follows up to kPluginPeakCeiling
// regions (128 MiB) while a plug-in runs: on this kind of machine a tree of
// 100,000 records (18 MiB) is built and dropped in 11 ms instead of 35 ms.
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

    // The reserve a running plug-in keeps: 64 regions, 4 MiB.
    static constexpr std::size_t kPluginReserve = 64;

    // How many wholly free regions to keep rather than release (default 0).
    // Lowering it releases the surplus at once.
    void SetRetainedRegions(std::size_t count);
    std::size_t RetainedRegions() const;
    // Releases every wholly free region now; the cap stays as it was.
    void ReleaseReserve();

    // The ceiling the runtime follows recent use up to: 2048 regions, 128 MiB.
    static constexpr std::size_t kPluginPeakCeiling = 2048;
    static constexpr uint64_t kPeakWindowNanoseconds = 1000000000;
    using Clock = uint64_t (*)();
    // Keeps up to the recent peak of regions in use, at most ceiling regions
    // held in all (0: only the fixed cap, the default). Lowering it releases
    // the surplus at once. The clock is replaceable for tests.
    void FollowRecentPeak(std::size_t ceiling, uint64_t windowNanoseconds = kPeakWindowNanoseconds,
                          Clock clock = nullptr);

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
    void ReleaseWhollyFree(std::size_t keep);  // until at most keep are left
    std::size_t InUse() const { return regions_.size() - whollyFree_; }
    // How many wholly free regions may be kept now; rolls the peak's window.
    std::size_t Allowance(bool* rolled = nullptr);

    mutable std::mutex mutex_;
    FreePage* head_ = nullptr;                          // LIFO list of free pages
    std::unordered_map<uintptr_t, uint32_t> regions_;   // region base -> free pages in it
    std::size_t freePages_ = 0;
    std::size_t whollyFree_ = 0;      // regions with all sixteen pages free
    std::size_t retainLimit_ = 0;
    std::size_t peakCeiling_ = 0;
    std::size_t peakNow_ = 0;     // most regions in use in this window
    std::size_t peakBefore_ = 0;  // ... and in the previous one
    uint64_t window_ = kPeakWindowNanoseconds;
    uint64_t windowStart_ = 0;
    Clock clock_ = nullptr;
    uint64_t reserved_ = 0;
    uint64_t released_ = 0;
};

}  // namespace Vorn

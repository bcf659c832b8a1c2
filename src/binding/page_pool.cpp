#include "binding/page_pool.h"

#include <algorithm>
#include <new>

#include "platform/clock.h"

namespace Vorn {

namespace {
uintptr_t RegionOf(const void* page) {
    return reinterpret_cast<uintptr_t>(page) & ~(static_cast<uintptr_t>(Platform::kRegionSize) - 1);
}
}  // namespace

PagePool& PagePool::Instance() {
    // Never destroyed: trees held by other statics may return pages during exit.
    alignas(PagePool) static unsigned char storage[sizeof(PagePool)];
    static PagePool* pool = new (storage) PagePool();
    return *pool;
}

void PagePool::PushFront(FreePage* page) {
    page->previous = nullptr;
    page->next = head_;
    if (head_ != nullptr) head_->previous = page;
    head_ = page;
    ++freePages_;
}

void PagePool::Unlink(FreePage* page) {
    if (page->previous != nullptr) {
        page->previous->next = page->next;
    } else {
        head_ = page->next;
    }
    if (page->next != nullptr) page->next->previous = page->previous;
    --freePages_;
}

void* PagePool::TakePage() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (head_ == nullptr) {
        auto* region = static_cast<char*>(Platform::ReserveRegion());
        if (region == nullptr) throw std::bad_alloc();
        try {
            regions_.emplace(reinterpret_cast<uintptr_t>(region), static_cast<uint32_t>(kPagesPerRegion));
        } catch (...) {
            Platform::ReleaseRegion(region);
            throw;
        }
        ++whollyFree_;
        ++reserved_;
        // Pushed last to first, so the region's first page is handed out first.
        for (std::size_t i = kPagesPerRegion; i-- > 0;) PushFront(reinterpret_cast<FreePage*>(region + i * kPageSize));
    }
    FreePage* page = head_;
    Unlink(page);
    if (regions_.find(RegionOf(page))->second-- == kPagesPerRegion) {
        --whollyFree_;
        peakNow_ = std::max(peakNow_, InUse());
    }
    return page;
}

void PagePool::ReturnPage(void* page) {
    std::lock_guard<std::mutex> guard(mutex_);
    auto region = regions_.find(RegionOf(page));
    PushFront(static_cast<FreePage*>(page));
    if (++region->second < kPagesPerRegion) return;
    if (whollyFree_ < retainLimit_) {
        ++whollyFree_;
        return;
    }
    if (peakCeiling_ > retainLimit_) {
        bool rolled = false;
        ++whollyFree_;  // counted free while the allowance is worked out
        const std::size_t allowance = Allowance(&rolled);
        if (whollyFree_ <= allowance) return;
        --whollyFree_;
        ReleaseRegion(region->first);
        // A new window may allow less than is kept: the surplus goes now.
        if (rolled) ReleaseWhollyFree(allowance);
        return;
    }
    ReleaseRegion(region->first);
}

std::size_t PagePool::Allowance(bool* rolled) {
    const uint64_t now = clock_();
    const uint64_t elapsed = now - windowStart_;
    if (elapsed >= window_) {
        // A window without any use in between leaves no peak behind.
        peakBefore_ = elapsed < 2 * window_ ? peakNow_ : InUse();
        peakNow_ = InUse();
        windowStart_ = now;
        if (rolled != nullptr) *rolled = true;
    }
    const std::size_t peak = std::min(peakCeiling_, std::max(peakNow_, peakBefore_));
    const std::size_t inUse = InUse();
    return std::max(retainLimit_, peak > inUse ? peak - inUse : 0);
}

void PagePool::FollowRecentPeak(std::size_t ceiling, uint64_t windowNanoseconds, Clock clock) {
    std::lock_guard<std::mutex> guard(mutex_);
    peakCeiling_ = ceiling;
    window_ = windowNanoseconds;
    clock_ = clock != nullptr ? clock : &Platform::MonotonicNanoseconds;
    windowStart_ = clock_();
    peakNow_ = peakBefore_ = InUse();
    ReleaseWhollyFree(peakCeiling_ > retainLimit_ ? Allowance() : retainLimit_);
}

void PagePool::ReleaseRegion(uintptr_t base) {
    // All sixteen pages are free: forget them and give the region back.
    auto* start = reinterpret_cast<char*>(base);
    for (std::size_t i = 0; i < kPagesPerRegion; ++i) Unlink(reinterpret_cast<FreePage*>(start + i * kPageSize));
    regions_.erase(base);
    // The pool is never destroyed, so an index left allocated when the last
    // region goes would outlive a plug-in library that is unloaded.
    if (regions_.empty()) std::unordered_map<uintptr_t, uint32_t>().swap(regions_);
    Platform::ReleaseRegion(start);
    ++released_;
}

void PagePool::SetRetainedRegions(std::size_t count) {
    std::lock_guard<std::mutex> guard(mutex_);
    retainLimit_ = count;
    ReleaseWhollyFree(peakCeiling_ > retainLimit_ ? Allowance() : retainLimit_);
}

std::size_t PagePool::RetainedRegions() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return retainLimit_;
}

void PagePool::ReleaseReserve() {
    std::lock_guard<std::mutex> guard(mutex_);
    ReleaseWhollyFree(0);
}

void PagePool::ReleaseWhollyFree(std::size_t keep) {
    // The count is tested first: releasing the last region swaps the index
    // for an empty one, which leaves the iterator behind.
    for (auto it = regions_.begin(); whollyFree_ > keep && it != regions_.end();) {
        uintptr_t base = it->first;
        bool whollyFree = it->second == kPagesPerRegion;
        ++it;
        if (whollyFree) {
            --whollyFree_;
            ReleaseRegion(base);
        }
    }
}

PagePool::Statistics PagePool::Stats() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return Statistics{regions_.size(), freePages_, whollyFree_, reserved_, released_};
}

}  // namespace Vorn

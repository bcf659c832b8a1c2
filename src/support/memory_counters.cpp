#include "support/memory_counters.h"

namespace Vorn {

namespace {
// An explicit compare-and-swap loop: 64-bit fetch_add is not lock-free on
// every 32-bit target, a CAS on 8 bytes is.
void AtomicAdd(std::atomic<uint64_t>& counter, uint64_t delta) {
    uint64_t seen = counter.load(std::memory_order_relaxed);
    while (!counter.compare_exchange_weak(seen, seen + delta)) {
    }
}
}  // namespace

void MemoryCounters::CountAllocation(uint64_t bytes) {
    AtomicAdd(bytesAllocated, bytes);
    AtomicAdd(allocations, 1);
}

void MemoryCounters::CountFree(uint64_t bytes) {
    AtomicAdd(bytesFreed, bytes);
    AtomicAdd(frees, 1);
}

void MemoryCounters::UpdatePeak() {
    // Freed bytes are read first: every byte freed by then was counted as
    // allocated before, so the difference cannot go below zero. Read the other
    // way round, a concurrent free could make it wrap to a huge "peak".
    const uint64_t freed = bytesFreed.load();
    const uint64_t allocated = bytesAllocated.load();
    if (allocated <= freed) return;
    const uint64_t inUse = allocated - freed;
    uint64_t peak = peakBytes.load(std::memory_order_relaxed);
    while (inUse > peak) {
        if (peakBytes.compare_exchange_weak(peak, inUse)) {
            const uint64_t freeCount = frees.load();
            const uint64_t allocationCount = allocations.load();
            liveAllocationsAtPeak.store(allocationCount > freeCount ? allocationCount - freeCount : 0);
            break;
        }
    }
}

void ReadMemoryStatistics(const MemoryCounters& counters, MemoryStatisticsRecord* out) {
    out->counters[0] = counters.peakBytes.load(std::memory_order_relaxed);
    out->counters[1] = counters.liveAllocationsAtPeak.load(std::memory_order_relaxed);
    out->counters[2] = counters.bytesAllocated.load(std::memory_order_relaxed);
    out->counters[3] = counters.allocations.load(std::memory_order_relaxed);
    out->counters[4] = counters.bytesFreed.load(std::memory_order_relaxed);
    out->counters[5] = counters.frees.load(std::memory_order_relaxed);
    out->reserved[0] = 0;
    out->reserved[1] = 0;
}

}  // namespace Vorn

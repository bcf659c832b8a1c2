#include "logging/memory_counters.h"

namespace Vorn {

namespace {
// An explicit compare-and-swap loop: 64-bit fetch_add is not lock-free on
// every 32-bit target, a CAS on 8 bytes is.
void AtomicAdd(std::atomic<uint64_t>& counter, uint64_t delta) {
    uint64_t seen = counter.load(std::memory_order_relaxed);
    while (!counter.compare_exchange_weak(seen, seen + delta, std::memory_order_relaxed)) {
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
    uint64_t inUse = bytesAllocated.load(std::memory_order_relaxed) - bytesFreed.load(std::memory_order_relaxed);
    uint64_t peak = peakBytes.load(std::memory_order_relaxed);
    while (inUse > peak) {
        if (peakBytes.compare_exchange_weak(peak, inUse, std::memory_order_relaxed)) {
            liveAllocationsAtPeak.store(
                allocations.load(std::memory_order_relaxed) - frees.load(std::memory_order_relaxed),
                std::memory_order_relaxed);
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

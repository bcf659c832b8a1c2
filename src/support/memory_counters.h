#pragma once
// Counters of the plug-in's heap use, reported to the host on request.
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace Vorn {

struct MemoryCounters {
    std::atomic<uint64_t> peakBytes{0};
    std::atomic<uint64_t> liveAllocationsAtPeak{0};
    std::atomic<uint64_t> bytesAllocated{0};
    std::atomic<uint64_t> allocations{0};
    std::atomic<uint64_t> bytesFreed{0};
    std::atomic<uint64_t> frees{0};

    void CountAllocation(uint64_t bytes);
    void CountFree(uint64_t bytes);
    // Raises the peak when bytes in use exceed it. Counters are updated one
    // by one, so a concurrent reader may see the pair of peak fields from two
    // different moments; each field by itself is always consistent.
    void UpdatePeak();
};

// The record the host's memory statistics callback fills: six counters in the
// order above, then two zero words.
struct MemoryStatisticsRecord {
    uint64_t counters[6];
    uint32_t reserved[2];
};
static_assert(sizeof(MemoryStatisticsRecord) == 56);

void ReadMemoryStatistics(const MemoryCounters& counters, MemoryStatisticsRecord* out);

}  // namespace Vorn

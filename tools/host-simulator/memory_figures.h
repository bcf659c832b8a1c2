#pragma once
// Figures read from a plug-in's memory statistics record.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "host/simulated_host.h"

namespace Vorn::HostSimulator {

// The record is packed to 4 bytes: its 64-bit counters are copied out, not
// read in place. In order: peak bytes, live allocations at the peak, bytes
// allocated, allocations, bytes freed, frees.
inline std::array<uint64_t, 6> Counters(const PluginMemoryStatistics& statistics) {
    std::array<uint64_t, 6> counters;
    std::memcpy(counters.data(), reinterpret_cast<const char*>(&statistics) + offsetof(PluginMemoryStatistics, counters),
                sizeof(counters));
    return counters;
}

// Bytes in use: allocated minus freed.
inline uint64_t InUse(const PluginMemoryStatistics& statistics) {
    const std::array<uint64_t, 6> c = Counters(statistics);
    return c[2] >= c[4] ? c[2] - c[4] : 0;
}

}  // namespace Vorn::HostSimulator

#pragma once
// Large read/write regions straight from the operating system (reserve and
// commit in one step). Regions are aligned to their 64 KiB size, as Windows'
// allocation granularity gives them, so a page can find its region by masking.
#include <cstddef>

namespace Vorn::Platform {

inline constexpr std::size_t kRegionSize = 64 * 1024;
inline constexpr std::size_t kPageSize = 4096;

// A kRegionSize-aligned region of kRegionSize bytes; null when the system refuses.
void* ReserveRegion();
void ReleaseRegion(void* region);

// Asks that the whole 2 MiB pages inside [start, start + bytes) be backed by
// large pages where the system offers them (a hint: nothing changes what the
// memory holds, and a system without them ignores it).
void AdviseLargePages(void* start, std::size_t bytes);

}  // namespace Vorn::Platform

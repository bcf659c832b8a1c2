#pragma once
// Large read/write regions straight from the operating system (reserve and
// commit in one step). The value page pool cuts them into 4096-byte pages, so
// every region is at least 4096-byte aligned.
#include <cstddef>

namespace Vorn::Platform {

inline constexpr std::size_t kRegionSize = 64 * 1024;
inline constexpr std::size_t kPageSize = 4096;

// Returns null when the system refuses.
void* ReserveRegion(std::size_t bytes);
void ReleaseRegion(void* region, std::size_t bytes);

}  // namespace Vorn::Platform

#pragma once
// The system's random generator behind random_source.h, one implementation
// per system.
#include <cstddef>

namespace Vorn::Platform {

// Fills as much of the buffer as the system gives, from its start; returns the
// bytes filled (fewer than asked when the system source fails).
std::size_t FillFromSystem(void* buffer, std::size_t bytes);

}  // namespace Vorn::Platform

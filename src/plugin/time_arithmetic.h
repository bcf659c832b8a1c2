#pragma once
// Durations between the host's seconds and the time base's nanoseconds.
// Delays partly come from host configuration, so every conversion saturates
// instead of overflowing or casting out of range.
#include <cstdint>

namespace Vorn {

// Negative and NaN give 0; beyond 2^64-1 nanoseconds gives UINT64_MAX.
uint64_t SecondsToNanoseconds(double seconds);

uint64_t SaturatingAdd(uint64_t a, uint64_t b);

// The delay from now until a deadline, in seconds; 0 for a deadline that has
// passed.
double DelaySeconds(uint64_t deadline, uint64_t now);

}  // namespace Vorn

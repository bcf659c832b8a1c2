#pragma once
// Clocks: the high-resolution counter, local time for log lines and wall-clock
// time in 100-ns ticks.
#include <cstdint>

namespace Vorn::Platform {

uint64_t HighResolutionCounter();
uint64_t HighResolutionFrequency();  // counts per second, never 0

// Monotonic nanoseconds built from the counter. Whole seconds and the
// remainder are scaled separately so that counter * 10^9 cannot overflow.
uint64_t CounterToNanoseconds(uint64_t counter, uint64_t frequency);
uint64_t MonotonicNanoseconds();
// Nanoseconds since the first reading of the monotonic clock in this module.
uint64_t NanosecondsSinceFirstUse();

struct LocalTime {
    int32_t year;
    int32_t month;   // 1-12
    int32_t day;     // 1-31
    int32_t hour;
    int32_t minute;
    int32_t second;
    int32_t millisecond;
};

LocalTime LocalTimeNow();

// Wall-clock time in 100-nanosecond ticks since 1970-01-01 00:00 UTC.
uint64_t SystemTimeTicks();

}  // namespace Vorn::Platform

#include <time.h>

#include "platform/clock.h"

namespace Vorn::Platform {

namespace {
constexpr uint64_t kNanosecondsPerSecond = 1000000000ULL;
}

// The monotonic clock already counts nanoseconds, so the counter's frequency
// is 10^9 here.
uint64_t HighResolutionCounter() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * kNanosecondsPerSecond + static_cast<uint64_t>(now.tv_nsec);
}

uint64_t HighResolutionFrequency() { return kNanosecondsPerSecond; }

LocalTime LocalTimeNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    time_t seconds = now.tv_sec;
    tm local{};
    localtime_r(&seconds, &local);
    return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                     local.tm_min,         local.tm_sec,     static_cast<int32_t>(now.tv_nsec / 1000000)};
}

uint64_t SystemTimeTicks() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<uint64_t>(now.tv_sec) * 10000000ULL + static_cast<uint64_t>(now.tv_nsec) / 100;
}

}  // namespace Vorn::Platform

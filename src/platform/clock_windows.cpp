#include <windows.h>

#include "platform/clock.h"

namespace Vorn::Platform {

namespace {
// FILETIME counts 100-ns ticks from 1601-01-01; this many lie before 1970.
constexpr uint64_t kTicksFrom1601To1970 = 116444736000000000ULL;
}  // namespace

uint64_t HighResolutionCounter() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<uint64_t>(counter.QuadPart);
}

uint64_t HighResolutionFrequency() {
    // Fixed at boot, so read once.
    static const uint64_t frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return value.QuadPart > 0 ? static_cast<uint64_t>(value.QuadPart) : uint64_t{1};
    }();
    return frequency;
}

LocalTime LocalTimeNow() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

uint64_t SystemTimeTicks() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return ticks - kTicksFrom1601To1970;
}

}  // namespace Vorn::Platform

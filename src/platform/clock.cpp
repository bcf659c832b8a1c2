#include "platform/clock.h"

namespace Vorn::Platform {

uint64_t CounterToNanoseconds(uint64_t counter, uint64_t frequency) {
    constexpr uint64_t kNanosecondsPerSecond = 1000000000ULL;
    return counter / frequency * kNanosecondsPerSecond +
           counter % frequency * kNanosecondsPerSecond / frequency;
}

uint64_t MonotonicNanoseconds() {
    return CounterToNanoseconds(HighResolutionCounter(), HighResolutionFrequency());
}

uint64_t NanosecondsSinceFirstUse() {
    static const uint64_t first = MonotonicNanoseconds();
    return MonotonicNanoseconds() - first;
}

}  // namespace Vorn::Platform

#include "plugin/time_arithmetic.h"

#include <cmath>
#include <limits>

namespace Vorn {

uint64_t SecondsToNanoseconds(double seconds) {
    if (!(seconds > 0.0)) return 0;
    const double nanoseconds = seconds * 1e9;
    // 2^64 is exactly representable; anything at or above it does not fit.
    if (nanoseconds >= 18446744073709551616.0) return std::numeric_limits<uint64_t>::max();
    return static_cast<uint64_t>(nanoseconds);
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
    const uint64_t sum = a + b;
    return sum < a ? std::numeric_limits<uint64_t>::max() : sum;
}

double DelaySeconds(uint64_t deadline, uint64_t now) {
    if (deadline <= now) return 0.0;
    return static_cast<double>(deadline - now) * 1e-9;
}

}  // namespace Vorn

#include "platform/random_source.h"

#include "platform/clock.h"
#include "platform/system_random.h"

namespace Vorn::Platform {

namespace {
// splitmix64: only for the unlikely case that the system source fails.
uint64_t MixFallback() {
    static uint64_t state = MonotonicNanoseconds() ^ SystemTimeTicks();
    uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}
}  // namespace

void FillRandom(void* buffer, std::size_t bytes) {
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = FillFromSystem(buffer, bytes);
    while (done < bytes) {
        uint64_t word = MixFallback();
        for (int i = 0; i < 8 && done < bytes; ++i, word >>= 8) out[done++] = static_cast<unsigned char>(word);
    }
}

uint64_t RandomUint64() {
    uint64_t value = 0;
    FillRandom(&value, sizeof(value));
    return value;
}

}  // namespace Vorn::Platform

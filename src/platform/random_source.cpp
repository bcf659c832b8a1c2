#include "platform/random_source.h"

#include <cstdlib>

#include "platform/clock.h"
#include "platform/process_info.h"
#include "platform/system_random.h"

namespace Vorn::Platform {

namespace {
// splitmix64
uint64_t Mix(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

void FillMixed(unsigned char* out, std::size_t done, std::size_t bytes, uint64_t& state) {
    while (done < bytes) {
        uint64_t word = Mix(state);
        for (int i = 0; i < 8 && done < bytes; ++i, word >>= 8) out[done++] = static_cast<unsigned char>(word);
    }
}

bool SeedFromEnvironment(uint64_t& seed) {
    char text[32];
    if (!EnvironmentText("VORN_RANDOM_SEED", text, sizeof(text)) || text[0] < '0' || text[0] > '9') return false;
    char* end = nullptr;
    seed = std::strtoull(text, &end, 10);
    return *end == '\0';
}
}  // namespace

void FillRandom(void* buffer, std::size_t bytes) {
    auto* out = static_cast<unsigned char*>(buffer);
    uint64_t seed = 0;
    if (SeedFromEnvironment(seed)) {
        FillMixed(out, 0, bytes, seed);
        return;
    }
    // The mixed generator only for the unlikely case that the system source
    // fails.
    static uint64_t fallback = MonotonicNanoseconds() ^ SystemTimeTicks();
    FillMixed(out, FillFromSystem(buffer, bytes), bytes, fallback);
}

uint64_t RandomUint64() {
    uint64_t value = 0;
    FillRandom(&value, sizeof(value));
    return value;
}

}  // namespace Vorn::Platform

#pragma once
// A small random source of its own (splitmix64), so that the fuzzer's
// sequences depend on its seed alone: the same seed gives the same sequences
// on every platform and standard library.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Vorn::HostSimulator {

class SeededRandom {
public:
    explicit SeededRandom(uint64_t seed) : state_(seed) {}

    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. count - 1; 0 for a count of 0.
    uint64_t Below(uint64_t count) { return count == 0 ? 0 : Next() % count; }
    // True in `in` of every `of` draws.
    bool Chance(uint64_t in, uint64_t of) { return Below(of) < in; }
    template <typename T>
    const T& Pick(const std::vector<T>& items) {
        return items[static_cast<std::size_t>(Below(items.size()))];
    }

private:
    uint64_t state_;
};

}  // namespace Vorn::HostSimulator

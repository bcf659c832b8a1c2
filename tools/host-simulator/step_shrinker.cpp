#include "host-simulator/step_shrinker.h"

#include <algorithm>

namespace Vorn::HostSimulator {

std::vector<std::size_t> ShrinkSteps(std::size_t count,
                                     const std::function<bool(const std::vector<std::size_t>& kept)>& stillFails,
                                     std::size_t maxTries) {
    std::vector<std::size_t> kept(count);
    for (std::size_t i = 0; i < count; ++i) kept[i] = i;
    std::size_t tries = 0;
    std::size_t chunks = 2;
    while (kept.size() > 1 && tries < maxTries) {
        chunks = std::min(chunks, kept.size());
        bool dropped = false;
        // Each chunk left out in turn: what remains is the candidate.
        for (std::size_t c = 0; c < chunks && tries < maxTries; ++c) {
            const std::size_t begin = kept.size() * c / chunks;
            const std::size_t end = kept.size() * (c + 1) / chunks;
            std::vector<std::size_t> candidate(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(begin));
            candidate.insert(candidate.end(), kept.begin() + static_cast<std::ptrdiff_t>(end), kept.end());
            ++tries;
            if (!stillFails(candidate)) continue;
            kept = std::move(candidate);
            // Fewer chunks over fewer steps keep their size about the same.
            chunks = std::max<std::size_t>(chunks - 1, 2);
            dropped = true;
            break;
        }
        if (dropped) continue;
        if (chunks == kept.size()) break;  // single steps tried: none can go
        chunks = std::min(chunks * 2, kept.size());
    }
    return kept;
}

}  // namespace Vorn::HostSimulator

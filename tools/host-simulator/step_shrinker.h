#pragma once
// Delta debugging over a failing sequence: drops chunks of its steps, keeps
// a smaller sequence whenever it still fails the same way, and halves the
// chunks until no single step can go.
#include <cstddef>
#include <functional>
#include <vector>

namespace Vorn::HostSimulator {

// stillFails is asked about subsets of 0 .. count - 1 (indices in order) and
// says whether the sequence of just those steps fails as the whole did.
// Returns the smallest subset found (one from which no single step can be
// dropped, unless maxTries ran out first); the whole when nothing can go.
std::vector<std::size_t> ShrinkSteps(std::size_t count,
                                     const std::function<bool(const std::vector<std::size_t>& kept)>& stillFails,
                                     std::size_t maxTries);

}  // namespace Vorn::HostSimulator

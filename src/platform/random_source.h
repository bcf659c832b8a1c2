#pragma once
// A nondeterministic random source (seeds, jitter of delayed saves).
#include <cstddef>
#include <cstdint>

namespace Vorn::Platform {

// Fills the buffer; falls back to a time-mixed generator if the system source
// is unavailable, so it never fails. With VORN_RANDOM_SEED=n in the
// environment every draw gives the same bytes, made from n: runs that must
// repeat exactly (a saved trace compared with a new run) set it.
void FillRandom(void* buffer, std::size_t bytes);
uint64_t RandomUint64();

}  // namespace Vorn::Platform

#pragma once
// Durations of scenario steps: a number with a unit, "250ms", "90s", "10m",
// "2h" (fractions allowed: "1.5s"), or a plain number of seconds.
#include <cstdint>
#include <optional>
#include <string_view>

namespace Vorn::HostSimulator {

// Nanoseconds; nothing for text that is not a duration or does not fit.
std::optional<uint64_t> ParseDuration(std::string_view text);

}  // namespace Vorn::HostSimulator

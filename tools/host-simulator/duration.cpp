#include "host-simulator/duration.h"

#include <charconv>
#include <cmath>

namespace Vorn::HostSimulator {

std::optional<uint64_t> ParseDuration(std::string_view text) {
    struct Unit {
        std::string_view suffix;
        double nanoseconds;
    };
    // "ms" before "m" and "s": the longest suffix decides.
    constexpr Unit kUnits[] = {{"ms", 1e6}, {"s", 1e9}, {"m", 60e9}, {"h", 3600e9}};
    double scale = 1e9;
    for (const Unit& unit : kUnits) {
        if (text.size() > unit.suffix.size() && text.substr(text.size() - unit.suffix.size()) == unit.suffix) {
            text.remove_suffix(unit.suffix.size());
            scale = unit.nanoseconds;
            break;
        }
    }
    double amount = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), amount);
    if (error != std::errc() || end != text.data() + text.size() || text.empty() || text.front() == '-') {
        return std::nullopt;
    }
    const double nanoseconds = std::round(amount * scale);
    if (!std::isfinite(nanoseconds) || nanoseconds >= 18446744073709551616.0) return std::nullopt;
    return static_cast<uint64_t>(nanoseconds);
}

}  // namespace Vorn::HostSimulator

#pragma once
// What the logger hands to its targets: one stamped, formatted message.
#include <cstddef>
#include <cstdint>

#include "platform/clock.h"

namespace Vorn {

enum LogLevel : int32_t {
    kLogOkay = 0,
    kLogWarn = 1,
    kLogError = 2,
    kLogAlways = 3,
};

inline constexpr std::size_t kLogTextCapacity = 4096;

struct LogMessage {
    Platform::LocalTime time;
    int32_t level;
    uint64_t groups;
    char text[kLogTextCapacity];  // NUL-terminated, at most 4095 characters
};

// The 6-character, right-aligned level text; levels outside 0-3 give "     ?".
const char* LogLevelText(int32_t level);

}  // namespace Vorn

#pragma once
// Renders a message by a target's line format. A "#" followed by a code is
// replaced:
//   #D  local time, 2024-05-01T13:02:03.004
//   #E  the executable name
//   #G  the message's group codes, lowest bit first, ";"-separated
//   #H  seconds since the clock's first use, 000012.345
//   #L  the level text
//   #M  the message text
//   #T  the calling thread's identifier (%p)
// Any other character after "#" stands for itself ("##" gives "#"), and a "#"
// ending the format gives nothing. The line always ends with one newline; when
// it does not fit, the text is cut so that newline and terminator do.
#include <cstddef>
#include <cstdint>

#include "logging/log_message.h"

namespace Vorn {

// Returns the line's length (at most capacity - 1).
std::size_t RenderLogLine(const char* format, const LogMessage& message, const char* executableName, char* out,
                          std::size_t capacity);

// The #H text for a count of nanoseconds: the whole seconds, at least six
// digits, then the milliseconds cut to three ("000012.345"). Returns the
// length it needs, like snprintf.
int FormatElapsedSeconds(uint64_t nanoseconds, char* out, std::size_t capacity);

}  // namespace Vorn

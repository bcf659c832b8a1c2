#include <unistd.h>

#include "platform/standard_streams.h"

namespace Vorn::Platform {

// POSIX streams carry bytes as they are.
void UseBinaryStandardStreams() {}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) != 0; }

}  // namespace Vorn::Platform

#pragma once
// The process's standard input, output and error, for the command-line tools.

namespace Vorn::Platform {

// Makes the three streams pass bytes unchanged. Windows' C runtime otherwise
// writes "\n" as "\r\n" and ends input at a 0x1A byte, which would change a
// tool's output and cut MessagePack input short; POSIX streams already do.
void UseBinaryStandardStreams();

// Whether standard error is a terminal (a person watching) rather than a
// file or a pipe.
bool StandardErrorIsTerminal();

}  // namespace Vorn::Platform

#pragma once
// The system's debugger console, underneath DebuggerOutput's sink: the
// debugger's output window on Windows, nothing on POSIX.

namespace Vorn::Platform {

void WriteToDebuggerConsole(const char* text);

}  // namespace Vorn::Platform

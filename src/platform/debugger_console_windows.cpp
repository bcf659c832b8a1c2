#include <windows.h>

#include "platform/debugger_console.h"

namespace Vorn::Platform {

void WriteToDebuggerConsole(const char* text) { OutputDebugStringA(text); }

}  // namespace Vorn::Platform

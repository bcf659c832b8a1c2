#include "platform/debugger_console.h"

namespace Vorn::Platform {

// There is no debugger console here; DebuggerOutput's sink is the only way
// out.
void WriteToDebuggerConsole(const char*) {}

}  // namespace Vorn::Platform

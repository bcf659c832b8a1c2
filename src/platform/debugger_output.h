#pragma once
// Debugger console output. Without a debugger attached the text goes to a
// replaceable sink, which by default writes nowhere.

namespace Vorn::Platform {

using DebuggerSink = void (*)(const char* text, void* user);

void DebuggerOutput(const char* text);

// Replaces the sink (null restores the default); returns nothing so that
// callers cannot depend on what was there.
void SetDebuggerSink(DebuggerSink sink, void* user);

}  // namespace Vorn::Platform

#include "platform/debugger_output.h"

#include <mutex>

#include "platform/debugger_console.h"

namespace Vorn::Platform {

namespace {
std::mutex g_sinkMutex;
DebuggerSink g_sink = nullptr;
void* g_sinkUser = nullptr;
}  // namespace

// A sink set by a test or a tool receives the text instead of the system's
// debugger console.
void DebuggerOutput(const char* text) {
    std::lock_guard<std::mutex> guard(g_sinkMutex);
    if (g_sink != nullptr) {
        g_sink(text, g_sinkUser);
    } else {
        WriteToDebuggerConsole(text);
    }
}

void SetDebuggerSink(DebuggerSink sink, void* user) {
    std::lock_guard<std::mutex> guard(g_sinkMutex);
    g_sink = sink;
    g_sinkUser = user;
}

}  // namespace Vorn::Platform

#include "plugin/runtime_trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "support/message_format.h"

namespace Vorn {

namespace {

std::atomic<RuntimeTraceSink> g_sink{nullptr};
std::atomic<void*> g_user{nullptr};

}  // namespace

void SetRuntimeTraceSink(RuntimeTraceSink sink, void* user) {
    g_user.store(user);
    g_sink.store(sink);
}

void RuntimeTrace(const char* format, ...) {
    const RuntimeTraceSink sink = g_sink.load();
    if (sink == nullptr) return;
    char line[kMessageCapacity];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    sink(line, g_user.load());
}

void TraceUnconvertibleResource(std::string_view message, std::string_view uri) {
    if (g_sink.load() == nullptr) return;
    const std::string resource(message);
    const std::string url(uri);
    RuntimeTrace("Couldn't convert resource %s to C++ while handling update for URL: %s", resource.c_str(),
                 url.c_str());
}

}  // namespace Vorn

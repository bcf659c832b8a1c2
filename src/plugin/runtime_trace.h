#pragma once
// The runtime's trace: what it drops silently (unknown events, payloads that
// do not convert) and its subscription changes. The sink writes nothing
// unless one is set, so tracing costs one check per message.
#include <string_view>

namespace Vorn {

using RuntimeTraceSink = void (*)(const char* line, void* user);

// Replaces the sink (null: write nothing).
void SetRuntimeTraceSink(RuntimeTraceSink sink, void* user);

// printf-style; formatted only when a sink is set.
void RuntimeTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// "Couldn't convert resource %s to C++ while handling update for URL: %s"
void TraceUnconvertibleResource(std::string_view message, std::string_view uri);

}  // namespace Vorn

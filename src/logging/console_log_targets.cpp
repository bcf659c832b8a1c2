#include "logging/console_log_targets.h"

#include <mutex>

#include "logging/log_line_format.h"
#include "logging/logger.h"
#include "platform/debugger_output.h"

namespace Vorn {

bool BaseConsoleLogTarget::Write(const LogMessage& message) {
    std::lock_guard<Platform::RecursiveLock> guard(TargetLock());
    char line[kLogTextCapacity];
    std::size_t length = RenderLogLine(Format(), message, Logger::ExecutableName(), line, sizeof(line));
    WriteLine(line, length);
    return true;
}

void StdErrLogTarget::SetStream(std::FILE* stream) {
    std::lock_guard<Platform::RecursiveLock> guard(TargetLock());
    stream_ = stream != nullptr ? stream : stderr;
}

void StdErrLogTarget::WriteLine(const char* line, std::size_t length) { std::fwrite(line, 1, length, stream_); }

void StdErrLogTarget::Flush() {
    std::lock_guard<Platform::RecursiveLock> guard(TargetLock());
    std::fflush(stream_);
}

void StdOutLogTarget::SetStream(std::FILE* stream) {
    std::lock_guard<Platform::RecursiveLock> guard(TargetLock());
    stream_ = stream != nullptr ? stream : stdout;
}

void StdOutLogTarget::WriteLine(const char* line, std::size_t length) {
    std::fwrite(line, 1, length, stream_);
    if (flushEveryLine_) std::fflush(stream_);
}

void StdOutLogTarget::Flush() {
    std::lock_guard<Platform::RecursiveLock> guard(TargetLock());
    std::fflush(stream_);
}

void DebuggerConsoleLogTarget::WriteLine(const char* line, std::size_t) { Platform::DebuggerOutput(line); }

}  // namespace Vorn

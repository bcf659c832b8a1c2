#pragma once
// The module-wide logger: filters each message, stamps it with the local time
// and hands it to the attached targets in attachment order.
//
// Locks: the logger's lock (a critical section) guards the logger's fields
// and its existence and is held while targets write, so lines from different
// threads never interleave. Each target takes its own lock inside. Order:
// logger, then target.
#include <cstdarg>
#include <cstdint>
#include <string>
#include <vector>

#include "logging/console_log_targets.h"
#include "logging/log_groups.h"
#include "logging/log_message.h"

namespace Vorn {

class Logger {
public:
    // Reference counting: the first reference creates the logger, the last
    // release destroys it (detaching every target, last attached first).
    static void AddReference();
    static void ReleaseReference();
    static int32_t ReferenceCount();
    static bool Exists();

    // The logger, created (without a reference) if there is none yet.
    static Logger& Instance();

    void SetMinimumLevel(int32_t level);
    int32_t MinimumLevel() const;
    void SetSuppressedGroups(uint64_t groups);
    uint64_t SuppressedGroups() const;
    void SetMuted(bool muted);
    bool Muted() const;

    void Attach(LogTarget* target);
    void Detach(LogTarget* target);
    // Exact byte comparison of the target's name; null when none is attached.
    LogTarget* FindTarget(const char* name) const;
    std::vector<LogTarget*> AttachedTargets() const;

    StdErrLogTarget& StdErrTarget() { return stdErr_; }
    StdOutLogTarget& StdOutTarget() { return stdOut_; }
    DebuggerConsoleLogTarget& DebuggerTarget() { return debugger_; }

    // The process's executable file name, "<unknown>" when not known.
    static const char* ExecutableName();

    // Filters by muted flag, minimum level and suppressed groups.
    bool Passes(int32_t level, uint64_t groups) const;
    // Hands the message to each attached target whose own filter accepts it.
    void Dispatch(const LogMessage& message);

    // Used by targets: attach to / detach from the module's logger.
    static void AttachToModuleLogger(LogTarget* target);
    static void DetachFromModuleLogger(LogTarget* target);

private:
    Logger();
    ~Logger();
    static void DestroyLocked();

    int32_t minimumLevel_ = kLogWarn;
    uint64_t suppressedGroups_ = kLogGroupXTR;
    bool muted_ = false;
    std::vector<LogTarget*> targets_;
    StdErrLogTarget stdErr_;
    StdOutLogTarget stdOut_;
    DebuggerConsoleLogTarget debugger_;
};

// The entry every component logs through: a level (LogLevel), the group mask
// in two halves and a printf format. The text is cut at 4095 characters.
void Log(int32_t level, uint32_t groupsLow, uint32_t groupsHigh, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
void LogV(int32_t level, uint32_t groupsLow, uint32_t groupsHigh, const char* format, va_list args);

// "2024-05-01T13-02-03": a timestamp usable in file names.
std::string FileNameTimestamp(const Platform::LocalTime& time);

}  // namespace Vorn

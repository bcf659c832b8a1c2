#pragma once
// The base of every log target: its own filter and line format, and its
// attachment to the module's logger.
#include <cstdint>
#include <string>

#include "logging/log_message.h"
#include "platform/recursive_lock.h"

namespace Vorn {

struct LogTargetConfig {
    int32_t minimumLevel = kLogWarn;
    uint64_t includeGroups = 0;
    uint64_t excludeGroups = 0;
    std::string format = "#D| #L| #G| #M";
};

class LogTarget {
public:
    LogTarget() = default;
    LogTarget(const LogTarget&) = delete;
    LogTarget& operator=(const LogTarget&) = delete;
    // Detaches from the logger first, so the logger never calls a dead target.
    virtual ~LogTarget();

    virtual void Detach();
    virtual const char* Name() const { return "LogTarget"; }
    virtual const char* Format() const { return config_.format.c_str(); }
    // Called by the logger under its lock. Returns whether the line was written.
    virtual bool Write(const LogMessage& message) = 0;
    virtual void Flush() {}

    // Detaches the target, stores the settings (include groups lose every bit
    // that is also excluded) and attaches it again.
    void Configure(const LogTargetConfig& config);
    LogTargetConfig Config() const;

    // The target's own filter, as the logger applies it.
    bool Accepts(int32_t level, uint64_t groups) const;

    bool IsAttached() const { return attached_; }

protected:
    Platform::RecursiveLock& TargetLock() const { return lock_; }

private:
    friend class Logger;
    mutable Platform::RecursiveLock lock_;
    LogTargetConfig config_;
    bool attached_ = false;  // changed only under the logger's lock
};

}  // namespace Vorn

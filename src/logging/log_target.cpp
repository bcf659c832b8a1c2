#include "logging/log_target.h"

#include <mutex>

#include "logging/logger.h"

namespace Vorn {

LogTarget::~LogTarget() {
    if (attached_) Logger::DetachFromModuleLogger(this);
}

void LogTarget::Detach() { Logger::DetachFromModuleLogger(this); }

void LogTarget::Configure(const LogTargetConfig& config) {
    Logger::DetachFromModuleLogger(this);
    {
        std::lock_guard<Platform::RecursiveLock> guard(lock_);
        config_ = config;
        config_.includeGroups &= ~config_.excludeGroups;
    }
    Logger::AttachToModuleLogger(this);
}

LogTargetConfig LogTarget::Config() const {
    std::lock_guard<Platform::RecursiveLock> guard(lock_);
    return config_;
}

bool LogTarget::Accepts(int32_t level, uint64_t groups) const {
    std::lock_guard<Platform::RecursiveLock> guard(lock_);
    if (level < config_.minimumLevel) return false;
    if (groups == 0) return true;
    if ((groups & config_.excludeGroups) != 0) return false;
    return config_.includeGroups == 0 || (groups & config_.includeGroups) != 0;
}

}  // namespace Vorn

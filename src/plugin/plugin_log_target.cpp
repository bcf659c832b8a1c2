#include "plugin/plugin_log_target.h"

#include <mutex>

namespace Vorn {

bool PluginLogTarget::Write(const LogMessage& message) {
    if (api_ == nullptr || api_->log == nullptr) return false;
    std::lock_guard<Platform::RecursiveLock> guard(TargetLock());
    api_->log(api_, message.level, message.text);
    return true;
}

}  // namespace Vorn

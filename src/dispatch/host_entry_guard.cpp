#include "dispatch/host_entry_guard.h"

#include "logging/log_groups.h"
#include "logging/log_message.h"
#include "logging/logger.h"

namespace Vorn {

void LogHostEntryFailure(const char* entry, const char* what) noexcept {
    try {
        Log(kLogError, static_cast<uint32_t>(kLogGroupDBG), 0, "%s failed: %s", entry, what != nullptr ? what : "");
    } catch (...) {
        // Nothing more can be done without risking the host.
    }
}

}  // namespace Vorn

// Keeping the time of the last notification in the account settings, so the
// same switch-on is not announced again after a restart.
#include "featured-modes/featured_modes_plugin.h"
#include "logging/log_groups.h"
#include "logging/logger.h"

namespace Vorn::Client::FeaturedModes {

void FeaturedModesPlugin::SaveNotificationTimestamp() {
    BindingProperty data;
    data.Member("rgmNotificationTimestamp").SetUnsigned(rgmNotificationTimestamp);
    // Sent as the body: {"data":{"rgmNotificationTimestamp":T},"schemaVersion":1}.
    NamedParameters settings;
    settings.emplace_back("data", std::move(data));
    settings.emplace_back("schemaVersion", BindingProperty());
    settings.back().second.SetSigned(1);
    if (!SendRequest<void>(RequestMethod::Patch, kNotificationSettingsPath, settings).Ok()) {
        Log(kLogError, static_cast<uint32_t>(kLogGroupDBG), 0, "Failure in local save to qel-notifications");
    }
    StopTimer(kSaveTimerName);
    saveTimerPending = false;
}

}  // namespace Vorn::Client::FeaturedModes

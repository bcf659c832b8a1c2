// The featured-modes plug-in with one deliberate change, for the test of
// trace comparison: a save of the notification time is logged either way.
#include "featured-modes/featured_modes_plugin.h"
#include "logging/log_groups.h"
#include "logging/logger.h"

namespace Vorn::Client::FeaturedModes {

void FeaturedModesPlugin::SaveNotificationTimestamp() {
    NamedParameters settings(2);
    settings[0].first = "data";
    settings[0].second.Member("rgmNotificationTimestamp").SetUnsigned(rgmNotificationTimestamp);
    settings[1].first = "schemaVersion";
    settings[1].second.SetSigned(1);
    const bool saved = SendRequest<void>(RequestMethod::Patch, kNotificationSettingsPath, settings).Ok();
    Log(saved ? kLogOkay : kLogError, static_cast<uint32_t>(kLogGroupDBG), 0,
        saved ? "Saved the notification time" : "Failure in local save to qel-notifications");
    StopTimer(kSaveTimerName);
    saveTimerPending = false;
}

}  // namespace Vorn::Client::FeaturedModes

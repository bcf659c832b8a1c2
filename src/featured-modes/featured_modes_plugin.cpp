#include "featured-modes/featured_modes_plugin.h"

#include "plugin/plugin_loader.h"

namespace Vorn::Client::FeaturedModes {

// Members go in reverse order of declaration: notifiableQueues, then
// featuredQueues, then the base.
FeaturedModesPlugin::~FeaturedModesPlugin() = default;

void FeaturedModesPlugin::Shutdown() {
    if (saveTimerPending) SaveNotificationTimestamp();
}

void FeaturedModesPlugin::RegisterTypes() { Api::RegisterFeaturedModesTypes(Registry(), TypeNamePrefix()); }

bool FeaturedModesPlugin::Start() {
    SubscribeResources();
    return true;
}

}  // namespace Vorn::Client::FeaturedModes

VORN_PLUGIN_ENTRY(load_qel_featured_modes, Vorn::Client::FeaturedModes::FeaturedModesPlugin,
                  Vorn::Client::FeaturedModes::kShortName)

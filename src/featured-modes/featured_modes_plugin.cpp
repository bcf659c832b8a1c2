#include "featured-modes/featured_modes_plugin.h"

#include "plugin/plugin_loader.h"

namespace Vorn::Client::FeaturedModes {

FeaturedModesPlugin::~FeaturedModesPlugin() {
    notifiableQueues.clear();
    featuredQueues.clear();
}

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

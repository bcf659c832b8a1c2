#include "featured-modes/featured_modes_types.h"

namespace Vorn::Client::FeaturedModes::Api {

void RegisterFeaturedModesTypes(TypeRegistry& registry, const std::string& prefix) {
    RegisterBindingType<PlayerNotificationResource>(registry, prefix);
    RegisterBindingType<QueueAvailability>(registry, prefix);
    RegisterBindingType<QueueGameCategory>(registry, prefix);
    RegisterBindingType<Queue>(registry, prefix);
    RegisterBindingType<GameflowPhase>(registry, prefix);
    RegisterBindingType<GameflowSession>(registry, prefix);
    RegisterBindingType<GameflowAvailabilityState>(registry, prefix);
    RegisterBindingType<GameflowAvailability>(registry, prefix);
    RegisterBindingType<FeaturedModesConfig>(registry, prefix);
    RegisterBindingType<Maps>(registry, prefix);
    RegisterBindingType<Eligibility>(registry, prefix);
    RegisterBindingType<LoginSessionStates>(registry, prefix);
    RegisterBindingType<LoginSession>(registry, prefix);
}

}  // namespace Vorn::Client::FeaturedModes::Api

#include "binding/builtin_types.h"

namespace Vorn {

void RegisterBuiltIns(TypeRegistry& registry) {
    RegisterBindingType<BindingAsyncState>(registry);
    RegisterBindingType<BindingGenericEvent>(registry);
    RegisterBindingType<BindingCallbackEvent>(registry);
    RegisterBindingType<BindingGenericAsyncEvent>(registry);
    RegisterBindingType<BindingAsyncFailureEvent>(registry);
    RegisterBindingType<BindingAsyncCancelEvent>(registry);
}

void RegisterBuiltInEvents(TypeRegistry& registry) {
    RegisterBuiltIns(registry);
    const BindingTypeDescription* payload = registry.FindByIdentifier(&TypeIdOf<BindingCallbackEvent>());
    registry.RegisterEvent("OnCallback", payload, "Fired when a callback is invoked.", {"$builtin"});
}

}  // namespace Vorn

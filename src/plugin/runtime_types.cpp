#include "plugin/runtime_types.h"

namespace Vorn {

void RegisterRuntimeTypes(TypeRegistry& registry) {
    RegisterBindingType<PluginManagerState>(registry);
    RegisterBindingType<PluginManagerResource>(registry);
    RegisterBindingType<PluginResourceEventType>(registry);
    const BindingTypeDescription* resourceEvent = RegisterBindingType<Resource>(registry);
    const BindingTypeDescription* lcdsEvent = RegisterBindingType<PluginLcdsEvent>(registry);
    RegisterBindingType<PluginLcdsResponse>(registry);
    const BindingTypeDescription* proxyResponse = RegisterBindingType<PluginServiceProxyResponse>(registry);

    registry.RegisterEvent("OnJsonApiEvent", resourceEvent, "Fired when a resource is changed.", {},
                           kRuntimeEventNameSpace);
    registry.RegisterEvent("OnLcdsEvent", lcdsEvent, "Fired when a message is received over the LCDS connection.",
                           {}, kRuntimeEventNameSpace);
    registry.RegisterEvent("OnServiceProxyUuidEvent", proxyResponse,
                           "Fired when a uuid-based service proxy message is received.", {}, kRuntimeEventNameSpace);
    registry.RegisterEvent("OnServiceProxyMethodEvent", proxyResponse,
                           "Fired when a method-based service proxy message is received.", {},
                           kRuntimeEventNameSpace);
    registry.RegisterEvent("OnServiceProxyAsyncEvent", proxyResponse,
                           "Fired when an async service proxy message is received.", {}, kRuntimeEventNameSpace);
}

}  // namespace Vorn

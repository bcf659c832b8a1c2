#pragma once
// The types and events every plug-in's registry carries: resource events,
// the plug-in manager's state, LCDS messages and service-proxy answers.
#include <cstdint>
#include <string>

#include "binding/binding_descriptor.h"
#include "binding/binding_property.h"
#include "binding/type_registry.h"

namespace Vorn {

enum class PluginManagerState : int32_t { NotReady = 0, PluginsInitialized = 1 };

struct PluginManagerResource {
    PluginManagerState state = PluginManagerState::NotReady;
};

enum class PluginResourceEventType : int32_t { Create = 0, Update = 1, Delete = 2 };

// A resource change as the host reports it (registered as
// "PluginResourceEvent").
struct Resource {
    std::string uri;
    PluginResourceEventType eventType = PluginResourceEventType::Create;
    BindingProperty data;
};

struct PluginLcdsEvent {
    std::string clientId;
    std::string subtopic;
    std::string typeName;
    BindingProperty body;
};

struct PluginLcdsResponse {
    std::string typeName;
    BindingProperty body;
};

struct PluginServiceProxyResponse {
    std::string uuid;
    std::string serviceName;
    std::string methodName;
    std::string payload;
    std::string status;
    std::string error;
};

template <>
struct BindingDescriptor<PluginManagerState> {
    static constexpr const char* kName = "PluginManagerState";
    static constexpr uint32_t kIdentifier = 0xF4E3B901;
    static constexpr BindingEnumeratorSpec kEnumerators[] = {{"NotReady", 0}, {"PluginsInitialized", 1}};
};

template <>
struct BindingDescriptor<PluginManagerResource> {
    static constexpr const char* kName = "PluginManagerResource";
    static constexpr uint32_t kIdentifier = 0xFA58397C;
    static constexpr auto kFields = std::make_tuple(BindingField("state", &PluginManagerResource::state));
};

template <>
struct BindingDescriptor<PluginResourceEventType> {
    static constexpr const char* kName = "PluginResourceEventType";
    static constexpr uint32_t kIdentifier = 0xDC24D2AD;
    static constexpr BindingEnumeratorSpec kEnumerators[] = {{"Create", 0}, {"Update", 1}, {"Delete", 2}};
};

template <>
struct BindingDescriptor<Resource> {
    static constexpr const char* kName = "PluginResourceEvent";
    static constexpr uint32_t kIdentifier = 0xA54F35FD;
    static constexpr auto kFields = std::make_tuple(BindingField("uri", &Resource::uri),
                                                    BindingField("eventType", &Resource::eventType),
                                                    BindingField("data", &Resource::data));
};

template <>
struct BindingDescriptor<PluginLcdsEvent> {
    static constexpr const char* kName = "PluginLcdsEvent";
    static constexpr uint32_t kIdentifier = 0x739F2EF4;
    static constexpr auto kFields = std::make_tuple(
        BindingField("clientId", &PluginLcdsEvent::clientId), BindingField("subtopic", &PluginLcdsEvent::subtopic),
        BindingField("typeName", &PluginLcdsEvent::typeName), BindingField("body", &PluginLcdsEvent::body));
};

template <>
struct BindingDescriptor<PluginLcdsResponse> {
    static constexpr const char* kName = "PluginLcdsResponse";
    static constexpr uint32_t kIdentifier = 0xF4476A4F;
    static constexpr auto kFields = std::make_tuple(BindingField("typeName", &PluginLcdsResponse::typeName),
                                                    BindingField("body", &PluginLcdsResponse::body));
};

template <>
struct BindingDescriptor<PluginServiceProxyResponse> {
    static constexpr const char* kName = "PluginServiceProxyResponse";
    static constexpr uint32_t kIdentifier = 0x2C5E7588;
    static constexpr auto kFields = std::make_tuple(
        BindingField("uuid", &PluginServiceProxyResponse::uuid),
        BindingField("serviceName", &PluginServiceProxyResponse::serviceName),
        BindingField("methodName", &PluginServiceProxyResponse::methodName),
        BindingField("payload", &PluginServiceProxyResponse::payload),
        BindingField("status", &PluginServiceProxyResponse::status),
        BindingField("error", &PluginServiceProxyResponse::error));
};

// The namespace of the runtime's events.
inline constexpr const char* kRuntimeEventNameSpace = "vclient";

// Registers the types above and the events OnJsonApiEvent, OnLcdsEvent and
// the three service-proxy events.
void RegisterRuntimeTypes(TypeRegistry& registry);

}  // namespace Vorn

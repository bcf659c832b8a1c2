#pragma once
// The built-in types every registry carries: the states of an asynchronous
// operation and the generic event records, plus the event "OnCallback".
#include <cstdint>
#include <string>
#include <vector>

#include "binding/binding_descriptor.h"
#include "binding/binding_property.h"

namespace Vorn {

enum class BindingAsyncState : int32_t {
    None = 0,
    Running = 1,
    Cancelling = 2,
    Cancelled = 3,
    Succeeded = 4,
    Failed = 5,
};

struct BindingGenericEvent {
    BindingProperty data;
};

struct BindingCallbackEvent {
    uint32_t id = 0;
    std::vector<BindingProperty> parameters;
};

struct BindingGenericAsyncEvent {
    uint32_t asyncToken = 0;
    BindingProperty data;
};

struct BindingAsyncFailureEvent {
    uint32_t asyncToken = 0;
    std::string error;
};

struct BindingAsyncCancelEvent {
    uint32_t asyncToken = 0;
};

VORN_FIXED_TYPE_ID(std::vector<BindingProperty>, 0xE980F126);

inline constexpr std::string_view kBuiltInTags[] = {"$builtin"};
inline constexpr std::string_view kBuiltInAsyncTags[] = {"$builtin", "async"};

template <>
struct BindingDescriptor<BindingAsyncState> {
    static constexpr const char* kName = "BindingAsyncState";
    static constexpr uint32_t kIdentifier = 0x4B896D21;
    static constexpr const char* kDescription = "Possible states of an asynchronous operation.";
    static constexpr const auto& kTags = kBuiltInAsyncTags;
    static constexpr BindingEnumeratorSpec kEnumerators[] = {
        {"None", 0, "Invalid state"},
        {"Running", 1, "The operation is in flight"},
        {"Cancelling", 2, "A request to cancel the operation has been made"},
        {"Cancelled", 3, "The operation was cancelled"},
        {"Succeeded", 4, "The operation completed successfully"},
        {"Failed", 5, "The operation encountered an error"},
    };
};

template <>
struct BindingDescriptor<BindingGenericEvent> {
    static constexpr const char* kName = "BindingGenericEvent";
    static constexpr uint32_t kIdentifier = 0x2A500213;
    static constexpr const char* kDescription = "Represents generic data for an event.";
    static constexpr const auto& kTags = kBuiltInTags;
    static constexpr auto kFields = std::make_tuple(BindingField("data", &BindingGenericEvent::data, "Event data"));
};

template <>
struct BindingDescriptor<BindingCallbackEvent> {
    static constexpr const char* kName = "BindingCallbackEvent";
    static constexpr uint32_t kIdentifier = 0x4B3E42BB;
    static constexpr const char* kDescription = "Represents the parameters of a call to a provided callback.";
    static constexpr const auto& kTags = kBuiltInTags;
    static constexpr auto kFields =
        std::make_tuple(BindingField("id", &BindingCallbackEvent::id, "ID of the callback being invoked"),
                        BindingField("parameters", &BindingCallbackEvent::parameters, "Callback parameters"));
};

template <>
struct BindingDescriptor<BindingGenericAsyncEvent> {
    static constexpr const char* kName = "BindingGenericAsyncEvent";
    static constexpr uint32_t kIdentifier = 0x78B7AC8F;
    static constexpr const char* kDescription = "Represents generic data for an asynchronous event.";
    static constexpr const auto& kTags = kBuiltInAsyncTags;
    static constexpr auto kFields = std::make_tuple(
        BindingField("asyncToken", &BindingGenericAsyncEvent::asyncToken, "Asynchronous operation token"),
        BindingField("data", &BindingGenericAsyncEvent::data, "Event data"));
};

template <>
struct BindingDescriptor<BindingAsyncFailureEvent> {
    static constexpr const char* kName = "BindingAsyncFailureEvent";
    static constexpr uint32_t kIdentifier = 0x2DB89656;
    static constexpr const char* kDescription = "Represents a failed asynchronous operation.";
    static constexpr const auto& kTags = kBuiltInAsyncTags;
    static constexpr auto kFields = std::make_tuple(
        BindingField("asyncToken", &BindingAsyncFailureEvent::asyncToken, "Asynchronous operation token"),
        BindingField("error", &BindingAsyncFailureEvent::error, "Error message"));
};

template <>
struct BindingDescriptor<BindingAsyncCancelEvent> {
    static constexpr const char* kName = "BindingAsyncCancelEvent";
    static constexpr uint32_t kIdentifier = 0x96EAAF44;
    static constexpr const char* kDescription = "Represents a cancelled asynchronous operation.";
    static constexpr const auto& kTags = kBuiltInAsyncTags;
    static constexpr auto kFields = std::make_tuple(
        BindingField("asyncToken", &BindingAsyncCancelEvent::asyncToken, "Asynchronous operation token"));
};

// Registers the built-in types in their order.
void RegisterBuiltIns(TypeRegistry& registry);
// Registers the built-in types, then the event "OnCallback".
void RegisterBuiltInEvents(TypeRegistry& registry);

}  // namespace Vorn

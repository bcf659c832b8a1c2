#include "plugin/resource_events.h"

#include <array>
#include <cstring>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "binding/flat_to_native.h"
#include "binding/flat_value.h"
#include "logging/log_groups.h"
#include "logging/log_message.h"
#include "logging/logger.h"
#include "dispatch/host_entry_guard.h"
#include "plugin/plugin_base.h"
#include "plugin/plugin_runtime.h"

namespace Vorn {

std::string EventNameForPath(std::string_view path) {
    std::string name = "OnJsonApiEvent";
    std::size_t kept = 1;
    std::size_t limit = 4;
    std::size_t start = 0;
    while (start <= path.size() && kept < limit) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view segment = path.substr(start, end - start);
        if (!segment.empty()) {
            if (kept == 1 && segment == "qel-platform-config") limit = 6;
            name += '_';
            name += segment;
            ++kept;
        }
        start = end + 1;
    }
    return name;
}

bool PathPatternMatches(std::string_view pattern, std::string_view uri) {
    std::size_t p = 0;
    std::size_t u = 0;
    while (p < pattern.size() && u < uri.size()) {
        if (pattern[p] != '*') {
            if (pattern[p] != uri[u]) return false;
            ++p;
            ++u;
        } else if (uri[u] == '/') {
            ++p;
        } else {
            ++u;
            if (u == uri.size()) ++p;
        }
    }
    return p == pattern.size() && u == uri.size();
}

void PluginBase::Subscribe(const std::string& path) {
    const std::string name = EventNameForPath(path);
    int32_t& count = subscriberCounts_[name];
    if (count++ != 0) return;
    eventHandlers_[name] = EventSubscription{[this](const Resource& event) { DispatchResourceEvent(event); }, nullptr};
    RuntimeTrace("%s: Subscribing to event: %s", ShortName().c_str(), name.c_str());
    HostSubscribe(name.c_str(), hostContext_, &PluginRuntime::ResourceEventFunction,
                  reinterpret_cast<uintptr_t>(this), 0);
}

void PluginBase::Unsubscribe(const std::string& path) {
    const std::string name = EventNameForPath(path);
    auto found = subscriberCounts_.find(name);
    if (found == subscriberCounts_.end() || found->second <= 0) return;
    if (--found->second != 0) return;
    RuntimeTrace("%s: Unsubscribing to event: %s", ShortName().c_str(), name.c_str());
    HostUnsubscribe(name.c_str(), hostContext_);
    eventHandlers_.erase(name);
}

void PluginBase::ObserveResourceEvents(const std::string& path, EventHandler handler) {
    AddResourceObserver(path, std::move(handler), false);
}

void PluginBase::AddResourceObserver(const std::string& path, EventHandler handler, bool typed) {
    const bool pattern = path.find('*') != std::string::npos;
    ResourceObserver observer{std::make_shared<const EventHandler>(std::move(handler)), typed};
    if (pattern) {
        patternHandlers_[path] = std::move(observer);
    } else {
        exactHandlers_[path] = std::move(observer);
    }
    Subscribe(path);
    if (pattern) return;
    RequestResult<BindingProperty> current = SendRequest<BindingProperty>(RequestMethod::Get, path);
    if (!current.Ok()) return;
    // Looked up again: the request may have let the host re-enter the plug-in.
    auto found = exactHandlers_.find(path);
    if (found == exactHandlers_.end()) return;
    const std::shared_ptr<const EventHandler> stored = found->second.call;
    (*stored)(Resource{path, PluginResourceEventType::Create, std::move(current.Value())});
}

void PluginBase::DispatchResourceEvent(const Resource& event) {
    if (event.uri.empty() || event.uri.front() != '/') {
        // Only this case needs a record of its own: copying the data of
        // every event would cost as much as converting it.
        Resource routed = event;
        routed.uri.insert(routed.uri.begin(), '/');
        // Its data is still the host's flat value; the event function's
        // scope puts the state back when the delivery ends.
        if (&event == flatEvent_) flatEvent_ = &routed;
        return DispatchResourceEvent(routed);
    }
    const Resource& routed = event;
    // Handlers may observe or stop observing paths while they run, so each is
    // called through a copy.
    auto deliver = [this, &routed](const ResourceObserver& observer) {
        if (!observer.typed) EventData(routed);
        (*observer.call)(routed);
    };
    if (auto exact = exactHandlers_.find(routed.uri); exact != exactHandlers_.end()) {
        const ResourceObserver observer = exact->second;
        deliver(observer);
    }
    std::vector<ResourceObserver> matching;
    for (const auto& [pattern, observer] : patternHandlers_) {
        if (PathPatternMatches(pattern, routed.uri)) matching.push_back(observer);
    }
    for (const ResourceObserver& observer : matching) deliver(observer);
}

const BindingProperty& PluginBase::EventData(const Resource& event) {
    if (&event != flatEvent_ || flatEventData_ == nullptr) return event.data;
    // Checked whole before delivery: only exhausted memory fails here.
    BindingFlatResult failure{};
    const bool built = ValueFromFlat(*flatEventData_, kResultPath, flatEvent_->data, &failure, 1);
    ReleaseFlatResult(&failure);
    flatEvent_ = nullptr;
    if (!built) throw std::bad_alloc();
    return event.data;
}

namespace {

// A host payload as a native record (a fresh one); the message of what
// failed, else empty. Read straight into the record where that gives the
// same record; the two steps through a value otherwise, for their messages.
template <typename Record>
std::string ConvertFlat(const BindingFlatValue& payload, const TypeRegistry* registry, Record& out) {
    if (FlatToNative(out, payload, registry)) return {};
    BindingProperty value;
    BindingFlatResult flat{};
    std::string message;
    if (!ValueFromFlat(payload, kResultPath, value, &flat)) {
        message = flat.message != nullptr ? flat.message : "";
    } else {
        BindingResult converted;
        ValueToNative(converted, out, value, kResultPath, registry);
        if (!converted.ok) message = std::string(converted.Message());
    }
    ReleaseFlatResult(&flat);
    return message;
}

bool IsDataMember(const BindingFlatMember& member) {
    return member.name != nullptr && std::strcmp(member.name, "data") == 0;
}

// A resource event's payload into the record except its "data", which is
// left as the host's flat value for the handlers (typed ones read it into
// their records without a value in between). False, with the record fresh,
// where the whole payload must be converted the general way: no "data" or
// more than one (repeated names merge), empty data, anything that does not
// convert or would not read.
bool ReadResourceLeavingData(const BindingFlatValue& payload, const TypeRegistry* registry, Resource& out,
                             BindingFlatValue& data) {
    if (payload.kind != kFlatStructure || payload.payload.structure.members == nullptr) return false;
    const uint32_t count = payload.payload.structure.count;
    if (count > BindingProperty::kMaxElements) return false;
    const BindingFlatMember* members = payload.payload.structure.members;
    const BindingFlatMember* dataMember = nullptr;
    for (uint32_t i = 0; i < count; ++i) {
        if (!IsDataMember(members[i])) continue;
        if (dataMember != nullptr) return false;
        dataMember = &members[i];
    }
    if (dataMember == nullptr) return false;
    data = LoadMemberValue(*dataMember);
    // One level down: the data sits in the payload's structure.
    if (data.kind == kFlatEmpty || !FlatReadsCleanly(data, 1)) return false;
    // The other members, borrowed from the host's record; on the stack for
    // the few an event record has.
    std::array<BindingFlatMember, 8> few;
    std::vector<BindingFlatMember> many;
    BindingFlatMember* rest = few.data();
    if (count - 1 > few.size()) {
        many.resize(count - 1);
        rest = many.data();
    }
    uint32_t kept = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (&members[i] != dataMember) rest[kept++] = members[i];
    }
    BindingFlatValue restPayload = payload;
    restPayload.payload.structure.members = rest;
    restPayload.payload.structure.count = kept;
    return FlatToNative(out, restPayload, registry);
}

}  // namespace

// While a resource event is delivered with its data left flat; restores the
// outer event's state for a host that re-enters with another.
class PluginRuntime::FlatEventScope {
public:
    FlatEventScope(PluginBase& plugin, Resource* event, const BindingFlatValue* data)
        : plugin_(plugin), event_(plugin.flatEvent_), data_(plugin.flatEventData_) {
        plugin.flatEvent_ = event;
        plugin.flatEventData_ = event != nullptr ? data : nullptr;
    }
    ~FlatEventScope() {
        plugin_.flatEvent_ = event_;
        plugin_.flatEventData_ = data_;
    }
    FlatEventScope(const FlatEventScope&) = delete;
    FlatEventScope& operator=(const FlatEventScope&) = delete;

private:
    PluginBase& plugin_;
    Resource* event_;
    const BindingFlatValue* data_;
};

// Converts a host payload to a native record; a payload that does not
// convert is dropped with one ERROR line.
template <typename Record>
bool PluginRuntime::ConvertPayload(PluginBase& plugin, const HostEventRecord& event, const char* payloadType,
                                   Record& out) {
    const std::string message = ConvertFlat(event.payload, plugin.registry_.get(), out);
    if (message.empty()) return true;
    Log(kLogError, static_cast<uint32_t>(kLogGroupDBG), 0, "%s: Couldn't convert payload %s for event %s: %s",
        plugin.ShortName().c_str(), payloadType, event.eventName, message.c_str());
    return false;
}

void VORN_HOST_CALL PluginRuntime::ResourceEventFunction(const HostEventRecord* event) {
    GuardHostEntry("Resource event function", [event] {
        if (event == nullptr || event->eventName == nullptr || event->user == 0) return;
        auto& plugin = *reinterpret_cast<PluginBase*>(event->user);
        auto found = plugin.eventHandlers_.find(event->eventName);
        if (found == plugin.eventHandlers_.end() || !found->second.resource) return;
        Resource resource;
        BindingFlatValue data{};
        const bool dataLeftFlat = ReadResourceLeavingData(event->payload, plugin.registry_.get(), resource, data);
        if (!dataLeftFlat && !ConvertPayload(plugin, *event, "PluginResourceEvent", resource)) return;
        RuntimeTrace("%s: Handling event %s", plugin.ShortName().c_str(), event->eventName);
        const EventHandler closure = found->second.resource;
        FlatEventScope scope(plugin, dataLeftFlat ? &resource : nullptr, &data);
        closure(resource);
    });
}

void VORN_HOST_CALL PluginRuntime::ServiceProxyEventFunction(const HostEventRecord* event) {
    GuardHostEntry("Service proxy event function", [event] {
        if (event == nullptr || event->eventName == nullptr || event->user == 0) return;
        auto& plugin = *reinterpret_cast<PluginBase*>(event->user);
        auto found = plugin.eventHandlers_.find(event->eventName);
        if (found == plugin.eventHandlers_.end() || !found->second.serviceProxy) return;
        PluginServiceProxyResponse response;
        if (!ConvertPayload(plugin, *event, "PluginServiceProxyResponse", response)) return;
        const ServiceProxyHandler closure = found->second.serviceProxy;
        closure(response);
    });
}

}  // namespace Vorn

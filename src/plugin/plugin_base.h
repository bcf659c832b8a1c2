#pragma once
// The base class of every plug-in object. It owns the runtime's state between
// load and stop: the host's start record and context, the subscription,
// timer, task and service-proxy tables, the plug-in's type registry, the
// functions it exposes and its API table, its log target and a reference on
// the module's logger.
//
// Threads: the host calls into the plug-in one call at a time, and the
// plug-in calls the host back on that same thread; only the task table and
// the service-proxy tables take a lock, because the host may run delayed
// tasks and deliver service-proxy answers from another thread.
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "binding/type_registry.h"
#include "dispatch/api_table.h"
#include "dispatch/expose_function.h"
#include "dispatch/function_table.h"
#include "dispatch/method_name.h"
#include "plugin/host_records.h"
#include "plugin/host_request.h"
#include "plugin/plugin_api_version.h"
#include "plugin/plugin_name.h"
#include "plugin/runtime_trace.h"
#include "plugin/runtime_types.h"
#include "support/text_hash.h"

namespace Vorn {

class LogTarget;
class PluginBase;
struct PluginRuntime;

// What a typed resource handler receives: the data converted to T (a
// default T for Delete events).
template <typename T>
struct ResourceEvent {
    std::string uri;
    PluginResourceEventType eventType = PluginResourceEventType::Create;
    T data{};
};

using EventHandler = std::function<void(const Resource& event)>;
using ServiceProxyHandler = std::function<void(const PluginServiceProxyResponse& response)>;

// Sends named telemetry events to the host's telemetry resource.
class TelemetrySender {
public:
    explicit TelemetrySender(PluginBase* plugin) : plugin_(plugin) {}
    virtual ~TelemetrySender() = default;
    // POSTs the values to "/telemetry/v1/events/" + eventName (not escaped);
    // the future is ready when returned.
    virtual std::future<RequestResult<void>> SendTelemetry(const std::string& eventName,
                                                           const NamedParameters& values);

private:
    PluginBase* plugin_;
};

class PluginBase {
public:
    PluginBase();

    // Count-based host subscription of the path's event name.
    virtual void Subscribe(const std::string& path);
    virtual void Unsubscribe(const std::string& path);
    virtual ~PluginBase();
    // Unsubscribes every event name of the handler table and clears the
    // subscription, timer and service-proxy tables (not the counts).
    virtual void Shutdown();
    // Every host call passes through these, arguments unchanged.
    virtual void HostSendRequest(HostResponse* response, const HostRequest* request);
    virtual void HostCall1(uintptr_t a, uintptr_t b);
    virtual void HostCall2(uintptr_t a);
    virtual void HostSubscribe(const char* eventName, uintptr_t context, HostEventFunction function, uintptr_t user,
                               uint32_t kind);
    virtual void HostUnsubscribe(const char* eventName, uintptr_t context);
    virtual void HostSchedule(const char* taskName, HostTaskFunction function, uintptr_t user, double delaySeconds,
                              uint32_t zero);
    virtual void HostYield();
    virtual void HostBeginWait(const char* label, uint32_t zero);
    virtual void HostEndWait();
    // The concrete plug-in registers its API types and exposes its
    // functions here.
    virtual void RegisterTypes();
    // The concrete plug-in starts its work here.
    virtual bool Start();

    PluginBase(const PluginBase&) = delete;
    PluginBase& operator=(const PluginBase&) = delete;

    // --- Requests ---------------------------------------------------------
    // A synchronous request. Result: void (success or error only),
    // BindingProperty (the body as it came), or a registered record, enum or
    // vector of them. Parameters: NoParameters, a registered record,
    // NamedParameters or Positional(...).
    template <typename Result = void, typename Params = NoParameters>
    RequestResult<Result> SendRequest(RequestMethod method, const std::string& path, const Params& params = {});

    // --- Resource events --------------------------------------------------
    // Registers the handler for the path (a "*" makes it a pattern),
    // subscribes, and for an exact path delivers the current state at once as
    // a Create event.
    template <typename T>
    void ObserveResource(const std::string& path, std::function<void(const ResourceEvent<T>&)> handler);
    void ObserveResourceEvents(const std::string& path, EventHandler handler);

    // --- Delayed tasks and timers ----------------------------------------
    // Runs the function once, on a host callback, no earlier than the
    // deadline (nanoseconds of the monotonic time base).
    void RunAt(const std::string& taskName, std::function<void()> function, uint64_t deadline);
    // Starts or restarts a timer that fires every interval (seconds) until
    // stopped; a restart ends the earlier series.
    void StartTimer(const std::string& name, double intervalSeconds, std::function<void()> callback);
    void StopTimer(const std::string& name);
    bool HasTimer(const std::string& name) const;

    // --- Service proxy ----------------------------------------------------
    // The completion runs once, when an answer under the key (a uuid, or
    // service "." method) has arrived; the handler gets every async message
    // of that method key. Both run with the service-proxy lock held.
    void AddServiceProxyRequest(const std::string& key, ServiceProxyHandler completion);
    void AddServiceProxyAsyncHandler(const std::string& methodKey, ServiceProxyHandler handler);

    // --- Exposed functions -----------------------------------------------
    // Exposes a function to the host (FunctionSpec in expose_function.h declares it):
    // a member function of the plug-in class, called on this plug-in, or any
    // other callable. Types it uses must be registered first. A function that
    // cannot be exposed is logged as an ERROR and left out; returns whether
    // it was exposed.
    template <typename Function>
    bool Expose(FunctionSpec spec, Function function);

    // --- What the runtime knows ------------------------------------------
    const std::string& ShortName() const { return name_.shortName; }
    const PluginName& Name() const { return name_; }
    const std::string& TypeNamePrefix() const { return typeNamePrefix_; }
    const std::vector<std::string>& Tags() const { return tags_; }
    TypeRegistry& Registry() { return *registry_; }
    const TypeRegistry& Registry() const { return *registry_; }
    const FunctionTable& Functions() const { return *functions_; }
    const std::string& UserAgent() const { return userAgent_; }
    uintptr_t HostContext() const { return hostContext_; }
    const PluginApiVersion& HostVersion() const { return hostVersion_; }
    const PluginStartRecord* StartRecord() const { return startRecord_; }
    TelemetrySender* Telemetry() const { return telemetry_.get(); }
    int32_t SubscriberCount(const std::string& eventName) const;

private:
    friend struct PluginRuntime;

    // Keyed by name in timers_; each firing schedules the next.
    struct Timer {
        double interval = 0.0;
        uint64_t generation = 0;
        std::function<void()> firing;
    };
    // The part of a delayed task the host hands back as its user word.
    struct TaskKey {
        PluginBase* plugin;
        uint64_t identifier;
    };
    struct Task {
        TaskKey key;
        std::function<void()> function;
    };

    // Where a typed request's answer may go straight from the host's flat
    // body (flat_to_native.h): `read` says whether it did; `done` tells the
    // caller that the returned body is empty because of it.
    struct FlatBodyTarget {
        bool (*read)(const BindingFlatValue& body, void* native, const TypeRegistry* registry);
        void* native;
        bool done = false;
    };
    RequestResult<BindingProperty> SendPreparedRequest(RequestMethod method, const std::string& path,
                                                       const RequestParameters& parameters, bool wantBody,
                                                       FlatBodyTarget* direct = nullptr);
    void AddResourceObserver(const std::string& path, EventHandler handler, bool typed);
    void DispatchResourceEvent(const Resource& event);
    // The event's data for a handler that reads it as a value: built from
    // the host's flat value first while the event still holds only that.
    const BindingProperty& EventData(const Resource& event);
    const BindingFlatValue* FlatEventData(const Resource& event) const {
        return &event == flatEvent_ ? flatEventData_ : nullptr;
    }
    void FireTimer(const std::string& name, uint64_t generation, const std::function<void()>& callback);
    void OnServiceProxyResponse(const PluginServiceProxyResponse& response, const std::string& key);
    void FulfilServiceProxyRequests();
    void OnServiceProxyAsync(const PluginServiceProxyResponse& response);
    const HostApi* Api() const { return startRecord_ != nullptr ? startRecord_->api : nullptr; }
    void LogExposeFailure(const std::string& error);

    // Runtime state.
    uintptr_t hostContext_ = 0;
    std::string userAgent_;
    std::unique_ptr<TelemetrySender> telemetry_;

    // Subscriptions: event name -> dispatch closure (of resource events, or
    // of the service-proxy messages subscribed at start, so that the base
    // Shutdown unsubscribes them too) / subscriber count; exact path and path
    // pattern -> handler.
    struct EventSubscription {
        EventHandler resource;
        ServiceProxyHandler serviceProxy;
    };
    // Found by the host's event name as it comes, with no key made for it.
    std::unordered_map<std::string, EventSubscription, TextHash, std::equal_to<>> eventHandlers_;
    std::unordered_map<std::string, int32_t> subscriberCounts_;
    struct ResourceObserver {
        // Shared: each delivery holds its own reference (a handler may stop
        // observing while it runs) without copying the closure.
        std::shared_ptr<const EventHandler> call;
        bool typed = false;  // ObserveResource's: reads the data into its own record
    };
    std::unordered_map<std::string, ResourceObserver> exactHandlers_;
    std::map<std::string, ResourceObserver> patternHandlers_;
    // The resource event being delivered while its data is still only the
    // host's flat value (null otherwise): typed handlers read that value
    // straight into their records, and the first handler that wants the
    // event as it is has the data built into it.
    Resource* flatEvent_ = nullptr;
    const BindingFlatValue* flatEventData_ = nullptr;

    // Service proxy, under serviceProxyMutex_.
    std::mutex serviceProxyMutex_;
    std::map<std::string, ServiceProxyHandler> pendingRequests_;
    std::map<std::string, ServiceProxyHandler> asyncHandlers_;
    std::map<std::string, PluginServiceProxyResponse> bufferedResponses_;

    // Timers and delayed tasks (the task table under taskMutex_).
    std::unordered_map<std::string, Timer> timers_;
    std::map<uint64_t, std::unique_ptr<Task>> tasks_;
    uint64_t nextTaskIdentifier_ = 1;
    std::mutex taskMutex_;

    PluginApiVersion hostVersion_;
    std::unique_ptr<LogTarget> logTarget_;
    PluginName name_;
    std::string typeNamePrefix_;
    std::vector<std::string> tags_;
    // Cleared with the registry, through its clear hook.
    std::unique_ptr<FunctionTable> functions_;
    std::unique_ptr<TypeRegistry> registry_;
    const PluginStartRecord* startRecord_ = nullptr;
    PluginCallbacks callbacks_{};
    std::unique_ptr<ApiTableStorage> apiTable_;
};

// --- Templates ---------------------------------------------------------------

template <typename Result, typename Params>
RequestResult<Result> PluginBase::SendRequest(RequestMethod method, const std::string& path, const Params& params) {
    RequestParameters parameters;
    if (!PrepareParameters(parameters, params, registry_.get())) {
        RequestError error(400, kRequestNotSent, MethodName(static_cast<uint32_t>(method)), path, parameters.Error());
        return RequestResult<Result>(std::move(error));
    }
    if constexpr (std::is_void_v<Result>) {
        RequestResult<BindingProperty> body = SendPreparedRequest(method, path, parameters, false);
        if (!body.Ok()) return RequestResult<void>(body.Error());
        return RequestResult<void>();
    } else if constexpr (std::is_same_v<Result, BindingProperty>) {
        return SendPreparedRequest(method, path, parameters, true);
    } else {
        Result native{};
        FlatBodyTarget direct{[](const BindingFlatValue& flat, void* target, const TypeRegistry* registry) {
                                  return FlatToNative(*static_cast<Result*>(target), flat, registry);
                              },
                              &native};
        RequestResult<BindingProperty> body = SendPreparedRequest(method, path, parameters, true, &direct);
        if (!body.Ok()) return RequestResult<Result>(body.Error());
        if (direct.done) return RequestResult<Result>(std::move(native));
        return ConvertRequestBody<Result>(body.Value(), registry_.get(), MethodName(static_cast<uint32_t>(method)),
                                          path);
    }
}

template <typename Function>
bool PluginBase::Expose(FunctionSpec spec, Function function) {
    std::string error;
    bool exposed = false;
    if constexpr (std::is_member_function_pointer_v<Function>) {
        using Class = typename MemberFunctionOf<Function>::Class;
        static_assert(std::is_base_of_v<PluginBase, Class>, "a member function of the plug-in class");
        exposed = ExposeFunction(*functions_, *registry_, std::move(spec), BindMethod(static_cast<Class*>(this), function),
                                 &error);
    } else {
        exposed = ExposeFunction(*functions_, *registry_, std::move(spec), std::move(function), &error);
    }
    if (!exposed) LogExposeFailure(error);
    return exposed;
}

template <typename T>
void PluginBase::ObserveResource(const std::string& path, std::function<void(const ResourceEvent<T>&)> handler) {
    auto typedHandler = [this, handler = std::move(handler)](const Resource& event) {
        ResourceEvent<T> typed{event.uri, event.eventType, T{}};
        if (event.eventType != PluginResourceEventType::Delete) {
            // Straight from the host's flat data while it is delivered (it
            // sits one level down in the payload); through the value where
            // that declines, which also gives a failure its message.
            const BindingFlatValue* flat = FlatEventData(event);
            if (flat == nullptr || !FlatToNative(typed.data, *flat, registry_.get(), 1)) {
                BindingResult converted;
                ValueToNative(converted, typed.data, EventData(event), "<value>", registry_.get());
                if (!converted.ok) {
                    TraceUnconvertibleResource(converted.Message(), event.uri);
                    return;
                }
            }
        }
        handler(typed);
    };
    AddResourceObserver(path, std::move(typedHandler), true);
}

}  // namespace Vorn

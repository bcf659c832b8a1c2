#include "plugin/plugin_base.h"

#include "logging/log_groups.h"
#include "logging/log_message.h"
#include "logging/log_target.h"
#include "logging/logger.h"

namespace Vorn {

PluginBase::PluginBase()
    : functions_(std::make_unique<FunctionTable>()), registry_(std::make_unique<TypeRegistry>()) {
    Logger::AddReference();
    registry_->SetClearHook([functions = functions_.get()] { functions->Clear(); });
}

PluginBase::~PluginBase() {
    // The API table points into the registry; the registry clears the
    // function table on its way out; the log target must leave the logger
    // before the logger reference goes.
    apiTable_.reset();
    logTarget_.reset();
    registry_.reset();
    functions_.reset();
    Logger::ReleaseReference();
}

void PluginBase::LogExposeFailure(const std::string& error) {
    Log(kLogError, static_cast<uint32_t>(kLogGroupDBG), 0, "%s", error.c_str());
}

void PluginBase::Shutdown() {
    for (const auto& [eventName, handler] : eventHandlers_) HostUnsubscribe(eventName.c_str(), hostContext_);
    eventHandlers_.clear();
    {
        std::lock_guard<std::mutex> guard(serviceProxyMutex_);
        pendingRequests_.clear();
        asyncHandlers_.clear();
        bufferedResponses_.clear();
    }
    timers_.clear();
    exactHandlers_.clear();
    patternHandlers_.clear();
}

// Host calls before start (or with a host that lacks an entry) do nothing;
// a request then fails with the error text below.
void PluginBase::HostSendRequest(HostResponse* response, const HostRequest* request) {
    const HostApi* api = Api();
    if (api == nullptr || api->sendRequest == nullptr) {
        static char notStarted[] = "The host is not available";
        response->error = notStarted;
        response->status = 503;
        return;
    }
    api->sendRequest(api, response, request);
}

void PluginBase::HostCall1(uintptr_t a, uintptr_t b) {
    if (const HostApi* api = Api(); api != nullptr && api->call1 != nullptr) api->call1(api, a, b);
}

void PluginBase::HostCall2(uintptr_t a) {
    if (const HostApi* api = Api(); api != nullptr && api->call2 != nullptr) api->call2(api, a);
}

void PluginBase::HostSubscribe(const char* eventName, uintptr_t context, HostEventFunction function, uintptr_t user,
                               uint32_t kind) {
    if (const HostApi* api = Api(); api != nullptr && api->subscribe != nullptr) {
        api->subscribe(api, eventName, context, function, user, kind);
    }
}

void PluginBase::HostUnsubscribe(const char* eventName, uintptr_t context) {
    if (const HostApi* api = Api(); api != nullptr && api->unsubscribe != nullptr) {
        api->unsubscribe(api, eventName, context);
    }
}

void PluginBase::HostSchedule(const char* taskName, HostTaskFunction function, uintptr_t user, double delaySeconds,
                              uint32_t zero) {
    if (const HostApi* api = Api(); api != nullptr && api->schedule != nullptr) {
        api->schedule(api, taskName, function, user, delaySeconds, zero);
    }
}

void PluginBase::HostYield() {
    if (const HostApi* api = Api(); api != nullptr && api->yield != nullptr) api->yield(api);
}

void PluginBase::HostBeginWait(const char* label, uint32_t zero) {
    if (const HostApi* api = Api(); api != nullptr && api->beginWait != nullptr) api->beginWait(api, label, zero);
}

void PluginBase::HostEndWait() {
    if (const HostApi* api = Api(); api != nullptr && api->endWait != nullptr) api->endWait(api);
}

void PluginBase::RegisterTypes() {}

bool PluginBase::Start() { return true; }

int32_t PluginBase::SubscriberCount(const std::string& eventName) const {
    auto found = subscriberCounts_.find(eventName);
    return found != subscriberCounts_.end() ? found->second : 0;
}

}  // namespace Vorn

#include <mutex>

#include "logging/log_groups.h"
#include "logging/log_message.h"
#include "logging/logger.h"
#include "plugin/plugin_base.h"
#include "support/message_format.h"

namespace Vorn {

namespace {

std::string MethodKey(const PluginServiceProxyResponse& response) {
    return FormatMessage("%1.%2", {response.serviceName, response.methodName});
}

}  // namespace

void PluginBase::AddServiceProxyRequest(const std::string& key, ServiceProxyHandler completion) {
    {
        std::lock_guard<std::mutex> guard(serviceProxyMutex_);
        pendingRequests_[key] = std::move(completion);
    }
    // The answer may have come first.
    FulfilServiceProxyRequests();
}

void PluginBase::AddServiceProxyAsyncHandler(const std::string& methodKey, ServiceProxyHandler handler) {
    std::lock_guard<std::mutex> guard(serviceProxyMutex_);
    asyncHandlers_[methodKey] = std::move(handler);
}

void PluginBase::OnServiceProxyResponse(const PluginServiceProxyResponse& response, const std::string& key) {
    {
        std::lock_guard<std::mutex> guard(serviceProxyMutex_);
        bufferedResponses_[key] = response;
    }
    FulfilServiceProxyRequests();
}

// Completions and handlers run after the mutex is released: one may send a
// request, during whose wait the host may deliver another service-proxy
// message to this plug-in on the same thread.
void PluginBase::FulfilServiceProxyRequests() {
    ServiceProxyHandler completion;
    PluginServiceProxyResponse response;
    std::string key;
    {
        std::lock_guard<std::mutex> guard(serviceProxyMutex_);
        for (auto buffered = bufferedResponses_.begin(); buffered != bufferedResponses_.end(); ++buffered) {
            auto pending = pendingRequests_.find(buffered->first);
            if (pending == pendingRequests_.end()) continue;
            completion = std::move(pending->second);
            response = std::move(buffered->second);
            key = buffered->first;
            pendingRequests_.erase(pending);
            bufferedResponses_.erase(buffered);
            break;  // one request per answer
        }
    }
    if (!completion) return;
    completion(response);
    Log(kLogAlways, static_cast<uint32_t>(kLogGroupDBG), 0, "%s: Fulfilled service proxy request: %s",
        ShortName().c_str(), key.c_str());
}

void PluginBase::OnServiceProxyAsync(const PluginServiceProxyResponse& response) {
    const std::string key = MethodKey(response);
    ServiceProxyHandler handler;
    {
        std::lock_guard<std::mutex> guard(serviceProxyMutex_);
        auto found = asyncHandlers_.find(key);
        if (found != asyncHandlers_.end()) handler = found->second;
    }
    if (!handler) {
        Log(kLogError, static_cast<uint32_t>(kLogGroupDBG), 0,
            "%s: Could not find registered handler for async service proxy event %s", ShortName().c_str(),
            key.c_str());
        return;
    }
    handler(response);
}

}  // namespace Vorn

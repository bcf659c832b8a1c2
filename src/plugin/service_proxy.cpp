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

void PluginBase::FulfilServiceProxyRequests() {
    std::lock_guard<std::mutex> guard(serviceProxyMutex_);
    for (auto buffered = bufferedResponses_.begin(); buffered != bufferedResponses_.end(); ++buffered) {
        auto pending = pendingRequests_.find(buffered->first);
        if (pending == pendingRequests_.end()) continue;
        pending->second(buffered->second);
        Log(kLogAlways, static_cast<uint32_t>(kLogGroupDBG), 0, "%s: Fulfilled service proxy request: %s",
            ShortName().c_str(), buffered->first.c_str());
        pendingRequests_.erase(pending);
        bufferedResponses_.erase(buffered);
        return;  // one request per answer
    }
}

void PluginBase::OnServiceProxyAsync(const PluginServiceProxyResponse& response) {
    const std::string key = MethodKey(response);
    std::lock_guard<std::mutex> guard(serviceProxyMutex_);
    auto found = asyncHandlers_.find(key);
    if (found == asyncHandlers_.end()) {
        Log(kLogError, static_cast<uint32_t>(kLogGroupDBG), 0,
            "%s: Could not find registered handler for async service proxy event %s", ShortName().c_str(),
            key.c_str());
        return;
    }
    found->second(response);
}

}  // namespace Vorn

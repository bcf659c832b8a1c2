#include <mutex>

#include "logging/log_groups.h"
#include "logging/log_message.h"
#include "logging/logger.h"
#include "platform/clock.h"
#include "dispatch/host_entry_guard.h"
#include "plugin/plugin_base.h"
#include "plugin/plugin_runtime.h"
#include "plugin/time_arithmetic.h"
#include "support/message_format.h"

namespace Vorn {

void PluginBase::RunAt(const std::string& taskName, std::function<void()> function, uint64_t deadline) {
    const double delay = DelaySeconds(deadline, Platform::MonotonicNanoseconds());
    TaskKey* key = nullptr;
    {
        std::lock_guard<std::mutex> guard(taskMutex_);
        const uint64_t identifier = nextTaskIdentifier_++;
        auto task = std::make_unique<Task>(Task{TaskKey{this, identifier}, std::move(function)});
        key = &task->key;
        tasks_.emplace(identifier, std::move(task));
    }
    // The mutex is not held while the host is called: it may run the task
    // at once, on this thread.
    HostSchedule(taskName.c_str(), &PluginRuntime::TaskFunction, reinterpret_cast<uintptr_t>(key), delay, 0);
}

void VORN_HOST_CALL PluginRuntime::TaskFunction(uintptr_t user) {
    GuardHostEntry("Delayed task", [user] {
        if (user == 0) return;
        const PluginBase::TaskKey key = *reinterpret_cast<const PluginBase::TaskKey*>(user);
        PluginBase& plugin = *key.plugin;
        std::function<void()> function;
        {
            std::lock_guard<std::mutex> guard(plugin.taskMutex_);
            auto found = plugin.tasks_.find(key.identifier);
            if (found == plugin.tasks_.end()) return;
            function = found->second->function;
        }
        // Erased even when the function throws, so the table never keeps a
        // task the host will not call again.
        struct Erase {
            PluginBase& plugin;
            uint64_t identifier;
            ~Erase() {
                std::lock_guard<std::mutex> guard(plugin.taskMutex_);
                plugin.tasks_.erase(identifier);
            }
        } erase{plugin, key.identifier};
        if (function) function();
    });
}

void PluginBase::StartTimer(const std::string& name, double intervalSeconds, std::function<void()> callback) {
    Timer& timer = timers_[name];
    timer.interval = intervalSeconds;
    const uint64_t deadline = SaturatingAdd(Platform::MonotonicNanoseconds(), SecondsToNanoseconds(intervalSeconds));
    const uint64_t generation = ++timer.generation;
    timer.firing = [this, name, generation, callback = std::move(callback)] { FireTimer(name, generation, callback); };
    RunAt(FormatMessage("Timer: %1", {name}), timer.firing, deadline);
}

void PluginBase::StopTimer(const std::string& name) { timers_.erase(name); }

bool PluginBase::HasTimer(const std::string& name) const { return timers_.count(name) != 0; }

void PluginBase::FireTimer(const std::string& name, uint64_t generation, const std::function<void()>& callback) {
    auto found = timers_.find(name);
    if (found == timers_.end()) {
        Log(kLogWarn, static_cast<uint32_t>(kLogGroupDBG | kLogGroupNET), 0, "%s: Couldn't find timer named %s",
            ShortName().c_str(), name.c_str());
        return;
    }
    if (found->second.generation != generation) return;
    const uint64_t deadline =
        SaturatingAdd(Platform::MonotonicNanoseconds(), SecondsToNanoseconds(found->second.interval));
    // The callback may stop or restart this timer, which ends this series.
    const std::function<void()> keep = callback;
    keep();
    found = timers_.find(name);
    if (found == timers_.end() || found->second.generation != generation) return;
    RunAt(FormatMessage("Timer: %1", {name}), found->second.firing, deadline);
}

}  // namespace Vorn

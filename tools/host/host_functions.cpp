// The ten host functions the plug-in calls. Each finds its host through the
// table it is given; texts the plug-in passes are copied, never kept.
#include <cmath>
#include <exception>

#include "host/host_state.h"
#include "host/host_trace.h"

namespace Vorn::Host {

namespace {

HostState* StateOf(const HostApi* api) {
    return api != nullptr ? reinterpret_cast<const HostTable*>(api)->state : nullptr;
}

std::string TextOf(const char* text) { return text != nullptr ? text : ""; }

// A delay in seconds as whole nanoseconds, rounded up so that a task never
// runs before its delay; not a positive number (NaN included) is no delay.
uint64_t DelayNanoseconds(double seconds) {
    if (!(seconds > 0)) return 0;
    const double nanoseconds = std::ceil(seconds * 1e9);
    return nanoseconds >= 18446744073709551616.0 ? UINT64_MAX : static_cast<uint64_t>(nanoseconds);
}

void VORN_HOST_CALL SendRequest(const HostApi* api, HostResponse* response, const HostRequest* request) {
    HostState* state = StateOf(api);
    // Without a response record there is nowhere to answer.
    if (state == nullptr || response == nullptr) return;
    state->ServeRequest(response, request);
}

void VORN_HOST_CALL Call1(const HostApi* api, uintptr_t a, uintptr_t b) {
    if (HostState* state = StateOf(api)) state->Note("call1 " + HexText(a) + " " + HexText(b));
}

void VORN_HOST_CALL Call2(const HostApi* api, uintptr_t a) {
    if (HostState* state = StateOf(api)) state->Note("call2 " + HexText(a));
}

void VORN_HOST_CALL Subscribe(const HostApi* api, const char* eventName, uintptr_t context,
                              HostEventFunction function, uintptr_t user, uint32_t kind) {
    HostState* state = StateOf(api);
    if (state == nullptr) return;
    const std::string name = TextOf(eventName);
    state->subscriptionRecords.push_back({state->now, name, context, kind, true});
    std::string line = "subscribe " + name + (kind == 1 ? " (service proxy)" : "");
    if (function == nullptr) {
        state->Note(line + " without an event function: ignored");
        return;
    }
    state->subscriptions.push_back({state->nextSubscriptionId++, name, context, function, user, kind});
    state->Note(line);
}

void VORN_HOST_CALL Unsubscribe(const HostApi* api, const char* eventName, uintptr_t context) {
    HostState* state = StateOf(api);
    if (state == nullptr) return;
    const std::string name = TextOf(eventName);
    state->subscriptionRecords.push_back({state->now, name, context, 0, false});
    const std::size_t before = state->subscriptions.size();
    std::erase_if(state->subscriptions, [&](const ActiveSubscription& subscription) {
        return subscription.eventName == name && subscription.context == context;
    });
    state->Note("unsubscribe " + name + (state->subscriptions.size() == before ? " (not subscribed)" : ""));
}

// The last word of these entries is always 0; the trace shows any other.
std::string UnusedWordText(uint32_t word) { return word == 0 ? "" : " (last word " + std::to_string(word) + ")"; }

void VORN_HOST_CALL Schedule(const HostApi* api, const char* taskName, HostTaskFunction function, uintptr_t user,
                             double delaySeconds, uint32_t zero) {
    HostState* state = StateOf(api);
    if (state == nullptr) return;
    RecordedTask task;
    task.time = state->now;
    task.name = TextOf(taskName);
    task.delaySeconds = delaySeconds;
    task.due = SaturatingAdd(state->now, DelayNanoseconds(delaySeconds));
    std::string line = "schedule '" + task.name + "' in " + SecondsText(delaySeconds) + UnusedWordText(zero);
    const RecordRef ref{state->tasks.size(), state->generation};
    if (function == nullptr) {
        task.dropped = true;
        line += " without a function: dropped";
    } else {
        state->pending.push_back({state->nextTaskSequence++, task.due, task.name, function, user, ref});
    }
    state->tasks.push_back(std::move(task));
    state->Note(line, TraceLane::Task);
}

void VORN_HOST_CALL Yield(const HostApi* api) {
    HostState* state = StateOf(api);
    if (state == nullptr) return;
    ++state->yields;
    state->Note("yield");
    // The hook and the steps are the test's or the simulator's code; nothing
    // they throw may unwind through the plug-in.
    const std::function<void()> hook = state->yieldHook;
    try {
        state->RunDuringRead();
        if (hook) hook();
    } catch (const std::exception& failure) {
        state->Note(std::string("yield hook failed: ") + failure.what());
    } catch (...) {
        state->Note("yield hook failed");
    }
}

void VORN_HOST_CALL BeginWait(const HostApi* api, const char* label, uint32_t zero) {
    HostState* state = StateOf(api);
    if (state == nullptr) return;
    state->waitLabels.push_back(TextOf(label));
    state->Note("begin wait '" + state->waitLabels.back() + "'" + UnusedWordText(zero));
}

void VORN_HOST_CALL EndWait(const HostApi* api) {
    HostState* state = StateOf(api);
    if (state == nullptr) return;
    ++state->endWaits;
    state->Note("end wait");
}

void VORN_HOST_CALL Log(const HostApi* api, int32_t level, const char* message) {
    HostState* state = StateOf(api);
    if (state == nullptr) return;
    state->logLines.push_back({state->now, level, TextOf(message)});
    state->Note("log " + LevelText(level) + " " + state->logLines.back().text, TraceLane::Log);
}

}  // namespace

HostApi HostFunctions() {
    return HostApi{&SendRequest, &Call1, &Call2, &Subscribe, &Unsubscribe, &Schedule,
                   &Yield,       &BeginWait, &EndWait, &Log};
}

}  // namespace Vorn::Host

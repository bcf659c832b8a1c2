// Named timers on the host's delayed tasks, the service proxy, telemetry.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "test_plugin_fixture.h"

namespace Vorn::Testing {
namespace {

constexpr uint64_t kSecond = 1000000000ull;

using Timers = TestPluginHost;

std::vector<const Host::RecordedTask*> TasksNamed(const Host::SimulatedHost& host, const std::string& name) {
    std::vector<const Host::RecordedTask*> found;
    for (const Host::RecordedTask& task : host.Tasks()) {
        if (task.name == name) found.push_back(&task);
    }
    return found;
}

TEST_F(Timers, RepeatsEveryIntervalUntilStopped) {
    Run(R"({"action":"keep-groups","groups":["DBG","NET"]})");  // the groups of the runtime's line below
    Run(R"({"action":"start-timer","name":"tick","interval":2})");
    EXPECT_EQ(Compact(RunOne(R"({"action":"has-timer","name":"tick"})")), R"({"has":true})");
    EXPECT_EQ(Compact(RunOne(R"({"action":"has-timer","name":"tock"})")), R"({"has":false})");
    std::size_t before = host_.LogLines().size();
    host_.Advance(5 * kSecond);
    EXPECT_EQ(ReportsSince(before).size(), 2u) << "at 2 s and 4 s";
    const auto tasks = TasksNamed(host_, "Timer: tick");
    ASSERT_EQ(tasks.size(), 3u);
    for (const auto* task : tasks) EXPECT_NEAR(task->delaySeconds, 2.0, 0.5);

    Run(R"({"action":"stop-timer","name":"tick"})");
    EXPECT_EQ(Compact(RunOne(R"({"action":"has-timer","name":"tick"})")), R"({"has":false})");
    before = host_.LogLines().size();
    host_.Advance(5 * kSecond);
    EXPECT_TRUE(ReportsSince(before).empty());
    EXPECT_EQ(LogLinesWith(host_, 1, "vorn-test-plugin: Couldn't find timer named tick").size(), 1u)
        << "the firing already handed to the host finds no timer";
}

TEST_F(Timers, IntervalZeroIsScheduledWithDelayZero) {
    Run(R"({"action":"start-timer","name":"now","interval":0,"then":"stop","times":3})");
    const std::size_t before = host_.LogLines().size();
    host_.Advance(0);
    EXPECT_EQ(ReportsSince(before).size(), 3u) << "fired again at once, until stopped at the third";
    const auto tasks = TasksNamed(host_, "Timer: now");
    ASSERT_EQ(tasks.size(), 3u);
    for (const auto* task : tasks) {
        EXPECT_EQ(task->delaySeconds, 0.0);
        EXPECT_TRUE(task->ran);
    }
}

TEST_F(Timers, ARestartEndsTheEarlierSeries) {
    Run(R"({"action":"start-timer","name":"t","interval":10})");
    Run(R"({"action":"start-timer","name":"t","interval":20})");
    std::size_t before = host_.LogLines().size();
    host_.Advance(15 * kSecond);
    EXPECT_TRUE(ReportsSince(before).empty()) << "the first firing finds a newer generation";
    EXPECT_TRUE(LogLinesWith(host_, 1, "Couldn't find timer").empty());
    before = host_.LogLines().size();
    host_.Advance(6 * kSecond);
    EXPECT_EQ(ReportsSince(before).size(), 1u);

    // A callback that restarts its own timer (every 60 s, silently) ends the
    // series it was called from.
    Run(R"({"action":"start-timer","name":"r","interval":2,"then":"restart"})");
    before = host_.LogLines().size();
    host_.Advance(10 * kSecond);
    EXPECT_EQ(ReportsSince(before).size(), 1u);
    const auto tasks = TasksNamed(host_, "Timer: r");
    ASSERT_EQ(tasks.size(), 2u);
    EXPECT_NEAR(tasks[1]->delaySeconds, 60.0, 0.5);
}

TEST_F(Timers, DeadlinesInThePastAndFarAway) {
    Run(R"({"action":"run-at","name":"late","in":-30})");
    Run(R"({"action":"run-at","name":"never","in":1e300})");
    const auto late = TasksNamed(host_, "late");
    ASSERT_EQ(late.size(), 1u);
    EXPECT_EQ(late[0]->delaySeconds, 0.0);
    const auto never = TasksNamed(host_, "never");
    ASSERT_EQ(never.size(), 1u);
    EXPECT_TRUE(std::isfinite(never[0]->delaySeconds));
    EXPECT_GT(never[0]->delaySeconds, 1e9) << "saturated, not wrapped";
    const std::size_t before = host_.LogLines().size();
    host_.Advance(0);
    ASSERT_EQ(ReportsSince(before).size(), 1u);
    EXPECT_EQ(ReportsSince(before)[0].GetMember("ran").AsString(), "late");
}

TEST_F(Timers, StoppingThePluginDropsItsTasks) {
    Run(R"({"action":"start-timer","name":"t","interval":1})");
    host_.Stop();
    host_.Advance(10 * kSecond);
    const auto tasks = TasksNamed(host_, "Timer: t");
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_FALSE(tasks[0]->ran);
    EXPECT_TRUE(tasks[0]->dropped);
}

BindingProperty ProxyResponse(const char* uuid, const char* service, const char* method, const char* payload) {
    BindingProperty response;
    response.Member("uuid").SetString(uuid);
    response.Member("serviceName").SetString(service);
    response.Member("methodName").SetString(method);
    response.Member("payload").SetString(payload);
    return response;
}

TEST_F(Timers, ServiceProxyBuffersAndFulfilsOneRequestPerAnswer) {
    Run(R"({"action":"keep-groups","groups":["DBG"]})");  // the group of the runtime's lines below
    host_.DeliverEvent("OnServiceProxyUuidEvent", ProxyResponse("u1", "s", "m", "first"));
    host_.DeliverEvent("OnServiceProxyUuidEvent", ProxyResponse("u1", "s", "m", "second"));
    host_.DeliverEvent("OnServiceProxyMethodEvent", ProxyResponse("", "svc", "get", "by method"));
    EXPECT_EQ(Compact(RunOne(R"({"action":"proxy-request","key":"u1"})")),
              R"({"fulfilled":"u1","payload":"second"})")
        << "the later answer under a key replaces the earlier";
    EXPECT_EQ(Compact(RunOne(R"({"action":"proxy-request","key":"svc.get"})")),
              R"({"fulfilled":"svc.get","payload":"by method"})");
    EXPECT_EQ(LogLinesWith(host_, 3, "vorn-test-plugin: Fulfilled service proxy request: u1").size(), 1u);
    EXPECT_TRUE(Run(R"({"action":"proxy-request","key":"u1"})").empty()) << "each answer fulfils once";
    std::size_t before = host_.LogLines().size();
    host_.DeliverEvent("OnServiceProxyUuidEvent", ProxyResponse("u1", "s", "m", "third"));
    host_.DeliverEvent("OnServiceProxyUuidEvent", ProxyResponse("u1", "s", "m", "fourth"));
    EXPECT_EQ(ReportsSince(before).size(), 1u) << "and each request is fulfilled once";

    host_.DeliverEvent("OnServiceProxyAsyncEvent", ProxyResponse("", "chat", "message", ""));
    EXPECT_EQ(
        LogLinesWith(host_, 2,
                     "vorn-test-plugin: Could not find registered handler for async service proxy event chat.message")
            .size(),
        1u);
    Run(R"({"action":"proxy-handler","key":"chat.message"})");
    before = host_.LogLines().size();
    for (const char* payload : {"one", "two"}) {
        host_.DeliverEvent("OnServiceProxyAsyncEvent", ProxyResponse("u9", "chat", "message", payload));
    }
    std::string handled;
    for (const BindingProperty& report : ReportsSince(before)) handled += Compact(report);
    EXPECT_EQ(handled, R"({"async":"chat.message","payload":"one"}{"async":"chat.message","payload":"two"})")
        << "every async message of its method";
    EXPECT_EQ(LogLinesWith(host_, 2, "Could not find registered handler").size(), 1u);
}

// A completion or async handler that waits for the host (here a request read
// in small chunks) may see the host deliver another service-proxy message
// meanwhile, on the same thread: it must be handled, and the wait return.
TEST_F(Timers, ServiceProxyCallbacksMayWaitWhileAnotherMessageArrives) {
    for (const char* path : {"/s/slow1", "/s/slow2"}) {
        const std::string uuid = path[7] == '1' ? "w1" : "w2";
        host_.SetEndpoint(kHostMethodGet, path, [this, uuid](const Host::RecordedRequest&) {
            Host::Answer answer = Host::Answer::Streamed(Json(R"({"a":1})"), 2);
            answer.during = [this, uuid] {
                host_.DeliverEvent("OnServiceProxyUuidEvent", ProxyResponse(uuid.c_str(), "s", "m", "meanwhile"));
            };
            return answer;
        });
    }
    Run(R"({"action":"proxy-request","key":"w1"})");
    Run(R"({"action":"proxy-request","key":"w2"})");
    host_.DeliverEvent("OnServiceProxyUuidEvent", ProxyResponse("u1", "s", "m", "first"));
    std::string reports;
    for (const BindingProperty& report : Run(R"({"action":"proxy-request","key":"u1","then":"/s/slow1"})")) {
        reports += Compact(report);
    }
    EXPECT_EQ(reports, R"({"fulfilled":"u1","payload":"first"}{"fulfilled":"w1","payload":"meanwhile"})"
                       R"({"then":true})");
    Run(R"({"action":"proxy-handler","key":"chat.message","then":"/s/slow2"})");
    const std::size_t before = host_.LogLines().size();
    host_.DeliverEvent("OnServiceProxyAsyncEvent", ProxyResponse("", "chat", "message", "hi"));
    reports.clear();
    for (const BindingProperty& report : ReportsSince(before)) reports += Compact(report);
    EXPECT_EQ(reports, R"({"async":"chat.message","payload":"hi"}{"fulfilled":"w2","payload":"meanwhile"})"
                       R"({"then":true})");
    // A request that finds no answer yet waits quietly; an answer that comes
    // after its request was fulfilled waits for the next request of its key.
    EXPECT_TRUE(Run(R"({"action":"proxy-request","key":"u5"})").empty());
    host_.DeliverEvent("OnServiceProxyUuidEvent", ProxyResponse("u5", "s", "m", "first"));
    host_.DeliverEvent("OnServiceProxyUuidEvent", ProxyResponse("u5", "s", "m", "late"));
    EXPECT_EQ(Compact(RunOne(R"({"action":"proxy-request","key":"u5"})")), R"({"fulfilled":"u5","payload":"late"})");
    EXPECT_TRUE(LogLinesWith(host_, 2, "failed").empty()) << "nothing went wrong on the way";
}

TEST_F(Timers, TelemetryPostsNamedValuesAndIsReadyAtOnce) {
    EXPECT_EQ(Compact(RunOne(R"({"action":"telemetry","event":"ui/click","count":3})")),
              R"({"ok":true,"ready":true})");
    const auto posted = RequestsTo(host_, kHostMethodPost, "/telemetry/v1/events/ui/click");
    ASSERT_EQ(posted.size(), 1u);
    ASSERT_EQ(posted[0]->parameters.size(), 1u);
    EXPECT_EQ(Compact(posted[0]->parameters[0].value), R"({"count":3})");
}

}  // namespace
}  // namespace Vorn::Testing

#include "host/simulated_host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "probe_host.h"

namespace Vorn::Host {
namespace {

using namespace Testing;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

BindingProperty Number(double number) {
    BindingProperty value;
    value.SetDouble(number);
    return value;
}

// --- Life of the plug-in ------------------------------------------------------

TEST(SimulatedHostLife, LoadsThroughTheExportNamedAfterTheFileAndStartsAndStops) {
    SimulatedHost host;
    ASSERT_TRUE(LoadProbe(host));
    EXPECT_TRUE(host.IsLoaded());
    EXPECT_FALSE(host.IsStarted());
    EXPECT_STREQ(host.Record().shortName, "host-probe");
    EXPECT_EQ(host.Record().major, 18u);
    // Copied out: packed records leave 64-bit pointers unaligned.
    const ApiTable* table = host.Record().apiTable;
    EXPECT_NE(table, nullptr);
    EXPECT_THAT(ProbeLog(host), IsEmpty()) << "nothing reaches the plug-in before start";

    ASSERT_TRUE(host.Start());
    EXPECT_TRUE(host.IsStarted());
    EXPECT_NE(host.Context(), 0u);
    EXPECT_EQ(ProbeLog(host).front(), "start context=0x5eed plugin=ok");
    EXPECT_EQ(ProbeLog(host).back(), "started");

    host.Stop();
    EXPECT_FALSE(host.IsStarted());
    EXPECT_TRUE(host.IsLoaded());
    EXPECT_EQ(ProbeLog(host).back(), "stop plugin=ok");
    host.Unload();
    EXPECT_FALSE(host.IsLoaded());
}

TEST(SimulatedHostLife, LoadFailsWithAReason) {
    SimulatedHost host;
    std::string error;
    EXPECT_FALSE(host.Load("/nonexistent/vorn-nothing.so", &error));
    EXPECT_NE(error, "");

    EXPECT_FALSE(host.Load(VORN_HOST_PROBE_PATH, &error, "load_something_else"));
    EXPECT_EQ(error, "the library has no export 'load_something_else'");
    EXPECT_FALSE(host.IsLoaded());

    host.SetVersion({17, 0, 0});
    EXPECT_FALSE(host.Load(VORN_HOST_PROBE_PATH, &error));
    EXPECT_EQ(error, "'load_host_probe' did not load the plug-in");
    EXPECT_FALSE(host.IsLoaded());
    EXPECT_FALSE(host.Start());

    host.SetVersion({});
    EXPECT_TRUE(host.Load(VORN_HOST_PROBE_PATH, &error, "load_host_probe"));
}

TEST(SimulatedHostLife, AStoppedInstanceIsNotStartedAgainButAReloadedOneIsWithTheStoreKept) {
    SimulatedHost host;
    ASSERT_TRUE(StartProbe(host));
    EXPECT_FALSE(host.Start()) << "already started";
    host.Stop();
    const std::size_t lines = host.LogLines().size();
    EXPECT_FALSE(host.Start()) << "its object is gone after stop";
    EXPECT_EQ(host.LogLines().size(), lines);

    // The first run's PATCH created the resource; the second run reads it.
    ASSERT_TRUE(StartProbe(host));
    EXPECT_EQ(ProbeLog(host, "GET /probe/v1/thing").back(), R"(GET /probe/v1/thing: {"b":{"y":2},"c":"new"})");
    host.Unload();
    EXPECT_FALSE(host.IsStarted());
    EXPECT_EQ(ProbeLog(host).back(), "stop plugin=ok") << "unloading stops a started plug-in first";
}

TEST(SimulatedHostLife, MemoryStatisticsComeFromThePlugInWhileItsLibraryIsLoaded) {
    SimulatedHost host;
    EXPECT_EQ(host.MemoryStatistics().counters[0], 0u);
    ASSERT_TRUE(StartProbe(host));
    host.Stop();
    const PluginMemoryStatistics statistics = host.MemoryStatistics();
    for (int i = 0; i < 6; ++i) EXPECT_EQ(statistics.counters[i], uint64_t(i + 1) * 100) << i;
    host.Unload();
    EXPECT_EQ(host.MemoryStatistics().counters[5], 0u);
}

// --- Events ----------------------------------------------------------------

TEST(SimulatedHostEvents, ResourceEventsChangeTheStoreAndReachTheSubscription) {
    SimulatedHost host;
    ASSERT_TRUE(StartProbe(host));
    ASSERT_TRUE(host.IsSubscribed(kProbeEvent));
    host.ClearRecords();

    EXPECT_EQ(host.Create("/probe/v1/thing/7", Json(R"({"k":1})")), 1);
    EXPECT_EQ(host.Update("/probe/v1/thing/7", Json(R"({"k":2})")), 1);
    EXPECT_EQ(JsonOf(host.FindResource("/probe/v1/thing/7")), R"({"k":2})");
    EXPECT_EQ(host.Delete("/probe/v1/thing/7"), 1);
    EXPECT_EQ(host.FindResource("/probe/v1/thing/7"), nullptr);
    EXPECT_EQ(host.Update("/probe/v2/other", Json("1")), 0) << "nobody subscribed that name";
    EXPECT_EQ(JsonOf(host.FindResource("/probe/v2/other")), "1") << "the store changes all the same";

    EXPECT_THAT(ProbeLog(host),
                ElementsAre(R"(event OnJsonApiEvent_probe_v1_thing user=0x77 {"data":{"k":1u},"eventType":"Create","uri":"/probe/v1/thing/7"})",
                            R"(event OnJsonApiEvent_probe_v1_thing user=0x77 {"data":{"k":2u},"eventType":"Update","uri":"/probe/v1/thing/7"})",
                            R"(event OnJsonApiEvent_probe_v1_thing user=0x77 {"eventType":"Delete","uri":"/probe/v1/thing/7"})"));
}

TEST(SimulatedHostEvents, AnyPayloadIsSentAsAFlatValue) {
    SimulatedHost host;
    ASSERT_TRUE(StartProbe(host));
    host.ClearRecords();
    BindingProperty payload = Json(R"({"list":[true,-3,"x",null],"n":{}})");
    payload.Member("blob").SetBlob("\x01\x02\x03", 3);
    EXPECT_EQ(host.DeliverEvent(kProbeEvent, payload), 1);
    EXPECT_EQ(host.DeliverResourceEvent(kProbeEvent, "no-slash", EventType::Update, BindingProperty()), 1);
    EXPECT_THAT(ProbeLog(host),
                ElementsAre(R"(event OnJsonApiEvent_probe_v1_thing user=0x77 {"blob":<3 bytes>,"list":[true,-3,"x",null],"n":{}})",
                            R"(event OnJsonApiEvent_probe_v1_thing user=0x77 {"data":null,"eventType":"Update","uri":"no-slash"})"));
}

TEST(SimulatedHostEvents, UnsubscribingEndsDelivery) {
    SimulatedHost host;
    ASSERT_TRUE(StartProbe(host));
    EXPECT_EQ(host.DeliverEvent(kProbeEvent, Text("unsubscribe")), 1);
    EXPECT_FALSE(host.IsSubscribed(kProbeEvent));
    EXPECT_EQ(host.Update("/probe/v1/thing", Json("1")), 0);

    ASSERT_EQ(host.Subscriptions().size(), 2u);
    const RecordedSubscription& subscribe = host.Subscriptions()[0];
    const RecordedSubscription& unsubscribe = host.Subscriptions()[1];
    EXPECT_EQ(subscribe.eventName, kProbeEvent);
    EXPECT_TRUE(subscribe.subscribe);
    EXPECT_EQ(subscribe.context, host.Context());
    EXPECT_EQ(subscribe.kind, 0u);
    EXPECT_EQ(unsubscribe.eventName, kProbeEvent);
    EXPECT_FALSE(unsubscribe.subscribe);
    EXPECT_EQ(unsubscribe.context, host.Context());
}

TEST(SimulatedHostEvents, EverySubscriptionOfANameIsReachedAndChangesDuringDeliveryAreSafe) {
    SimulatedHost host;
    ASSERT_TRUE(StartProbe(host));
    host.ClearRecords();
    // Made while the event goes round: the new subscription is not reached by it.
    EXPECT_EQ(host.DeliverEvent(kProbeEvent, Text("subscribe again")), 1);
    EXPECT_EQ(host.DeliverEvent(kProbeEvent, Json("5")), 2);
    // The first handler cancels both: the second is not called with a
    // subscription that no longer exists.
    EXPECT_EQ(host.DeliverEvent(kProbeEvent, Text("unsubscribe")), 1);
    EXPECT_FALSE(host.IsSubscribed(kProbeEvent));
    EXPECT_THAT(ProbeLog(host), ElementsAre(R"(event OnJsonApiEvent_probe_v1_thing user=0x77 "subscribe again")",
                                            "event OnJsonApiEvent_probe_v1_thing user=0x77 5u",
                                            "event OnJsonApiEvent_probe_v1_thing user=0x78 5u",
                                            R"(event OnJsonApiEvent_probe_v1_thing user=0x77 "unsubscribe")"));
}

TEST(SimulatedHostEvents, FlatPayloadsArePassedAsTheyAre) {
    SimulatedHost host;
    ASSERT_TRUE(StartProbe(host));
    host.ClearRecords();
    BindingFlatValue borrowed{};
    borrowed.kind = kFlatBorrowedString;
    borrowed.payload.string.text = "lent";
    BindingFlatValue unknown{};
    unknown.kind = 11;
    EXPECT_EQ(host.DeliverFlatEvent(kProbeEvent, borrowed), 1);
    EXPECT_EQ(host.DeliverFlatEvent(kProbeEvent, unknown), 1);
    EXPECT_EQ(host.DeliverFlatEvent("OnSomethingElse", unknown), 0);
    EXPECT_EQ(host.DeliverFlatEvent(nullptr, unknown), 0);
    EXPECT_THAT(ProbeLog(host), ElementsAre(R"(event OnJsonApiEvent_probe_v1_thing user=0x77 "lent")",
                                            "event OnJsonApiEvent_probe_v1_thing user=0x77 <kind 11>"));
}

// --- Time ------------------------------------------------------------------

TEST(SimulatedHostTime, DueTasksRunInDeadlineOrderWithTiesInSchedulingOrder) {
    SimulatedHost host;
    ASSERT_TRUE(StartProbe(host));
    ASSERT_EQ(host.Tasks().size(), 3u);
    EXPECT_EQ(host.Tasks()[0].name, "probe.late");
    EXPECT_EQ(host.Tasks()[0].delaySeconds, 0.5);
    EXPECT_EQ(host.Tasks()[0].due, 500 * kMillisecond);
    host.ClearRecords();
    host.Advance(250 * kMillisecond - 1);
    EXPECT_THAT(ProbeLog(host), IsEmpty()) << "nothing runs before its deadline";
    host.Advance(300 * kMillisecond + 1);
    EXPECT_EQ(host.Now(), 550 * kMillisecond);
    EXPECT_THAT(ProbeLog(host), ElementsAre("task 2", "task 1", "task 3"));
    EXPECT_EQ(host.LogLines()[0].time, 250 * kMillisecond) << "each task runs at its deadline";
    EXPECT_EQ(host.LogLines()[2].time, 500 * kMillisecond);

    // Task 1 scheduled a follow-up while it ran.
    ASSERT_EQ(host.Tasks().size(), 1u);
    EXPECT_EQ(host.Tasks()[0].name, "probe.follow-up");
    EXPECT_EQ(host.Tasks()[0].time, 500 * kMillisecond);
    EXPECT_EQ(host.Tasks()[0].due, 600 * kMillisecond);
    EXPECT_FALSE(host.Tasks()[0].ran);
    EXPECT_EQ(host.PendingTaskCount(), 1u);
    host.Advance(50 * kMillisecond);
    EXPECT_EQ(ProbeLog(host).back(), "task 4");
    EXPECT_TRUE(host.Tasks()[0].ran);
    EXPECT_EQ(host.PendingTaskCount(), 0u);
}

TEST(SimulatedHostTime, ATaskLimitLeavesTheRestForTheNextTurn) {
    SimulatedHost host;
    ASSERT_TRUE(StartProbe(host));
    host.SetTaskLimit(2);
    host.ClearRecords();
    host.Advance(550 * kMillisecond);
    EXPECT_THAT(ProbeLog(host), ElementsAre("task 2", "task 1"));
    EXPECT_EQ(host.Now(), 550 * kMillisecond) << "the clock moves all the same";
    host.Advance(0);
    EXPECT_THAT(ProbeLog(host), ElementsAre("task 2", "task 1", "task 3"));
}

TEST(SimulatedHostTime, StopDropsPendingTasksAndForgetsSubscriptions) {
    SimulatedHost host;
    ASSERT_TRUE(StartProbe(host));
    host.Advance(300 * kMillisecond);
    host.Stop();
    EXPECT_EQ(host.PendingTaskCount(), 0u);
    EXPECT_FALSE(host.IsSubscribed(kProbeEvent));
    // The probe aborts the test program if a task or event reaches it after stop.
    host.Advance(10000 * kMillisecond);
    EXPECT_EQ(host.Update("/probe/v1/thing", Json("1")), 0);
    ASSERT_EQ(host.Tasks().size(), 3u);
    EXPECT_TRUE(host.Tasks()[1].ran);  // probe.early, before stop
    EXPECT_FALSE(host.Tasks()[1].dropped);
    for (std::size_t i : {0u, 2u}) {
        EXPECT_TRUE(host.Tasks()[i].dropped) << i;
        EXPECT_FALSE(host.Tasks()[i].ran) << i;
    }
}

TEST(SimulatedHostTime, DelaysAreRoundedUpAndSaturate) {
    SimulatedHost host;
    ASSERT_TRUE(StartProbe(host));
    host.Advance(10 * kMillisecond);
    host.ClearRecords();
    const uint64_t now = host.Now();
    const double delays[] = {-1.0, std::nan(""), 1.5e-9, 1e30, std::numeric_limits<double>::infinity()};
    for (double delay : delays) host.DeliverEvent(kProbeEvent, Number(delay));
    ASSERT_EQ(host.Tasks().size(), 5u);
    EXPECT_EQ(host.Tasks()[0].due, now);
    EXPECT_EQ(host.Tasks()[1].due, now);
    EXPECT_EQ(host.Tasks()[2].due, now + 2);
    EXPECT_EQ(host.Tasks()[3].due, UINT64_MAX);
    EXPECT_EQ(host.Tasks()[4].due, UINT64_MAX);

    host.Advance(UINT64_MAX);
    EXPECT_EQ(host.Now(), UINT64_MAX);
    EXPECT_EQ(host.PendingTaskCount(), 0u) << "even the tasks due at the end of time ran";
    host.Advance(5);
    EXPECT_EQ(host.Now(), UINT64_MAX);
}

// --- What happened -------------------------------------------------------------

TEST(SimulatedHostRecords, TheTraceTellsEachCallAndEventWithItsTime) {
    SimulatedHost host;
    host.SetResource(kThing, Json(R"({"a":1})"));
    ASSERT_TRUE(StartProbe(host));
    host.Advance(250 * kMillisecond);
    host.Update("/probe/v1/thing/x", Json(R"({"k":[1,2]})"));
    host.Delete("/probe/v1/thing/x");
    host.DeliverEvent("OnNobody", Json("1"));
    host.Stop();
    const char* expected[] = {
        "[    0.000s] start",
        "[    0.000s] log OKAY start context=0x5eed plugin=ok",
        "[    0.000s] subscribe OnJsonApiEvent_probe_v1_thing",
        "[    0.000s] schedule 'probe.late' in 0.500s",
        "[    0.000s] call1 0x1 0x2",
        "[    0.000s] call2 0x3",
        R"([    0.000s] GET /probe/v1/thing -> 200 {"a":1})",
        R"([    0.000s] PATCH /probe/v1/thing params=[{"b":{"y":2},"c":"new"}] -> 200)",
        "[    0.000s] GET /probe/v1/stream -> 404 Not found",
        "[    0.000s] started",
        "[    0.250s] task 'probe.early'",
        R"([    0.250s] event OnJsonApiEvent_probe_v1_thing Update /probe/v1/thing/x {"k":[1,2]})",
        "[    0.250s] event OnJsonApiEvent_probe_v1_thing Delete /probe/v1/thing/x",
        "[    0.250s] event OnNobody 1 (not subscribed)",
        "[    0.250s] stop",
        "[    0.250s] stopped, 2 pending tasks dropped",
    };
    for (const char* line : expected) EXPECT_TRUE(TraceHas(host, line)) << line;
}

TEST(SimulatedHostRecords, ClearingForgetsWhatHappenedButNotWhatIsPending) {
    SimulatedHost host;
    ASSERT_TRUE(StartProbe(host));
    host.ClearRecords();
    EXPECT_THAT(host.Requests(), IsEmpty());
    EXPECT_THAT(host.Subscriptions(), IsEmpty());
    EXPECT_THAT(host.Tasks(), IsEmpty());
    EXPECT_THAT(host.LogLines(), IsEmpty());
    EXPECT_THAT(host.Trace(), IsEmpty());
    EXPECT_EQ(host.YieldCount(), 0u);
    EXPECT_TRUE(host.IsSubscribed(kProbeEvent));
    EXPECT_EQ(host.PendingTaskCount(), 3u);
    host.Advance(1000 * kMillisecond);
    EXPECT_THAT(ProbeLog(host), ElementsAre("task 2", "task 1", "task 3", "task 4"));
    ASSERT_EQ(host.Tasks().size(), 1u) << "only the follow-up was scheduled since";
    EXPECT_TRUE(host.Tasks()[0].ran);
}

}  // namespace
}  // namespace Vorn::Host

// Requests from the plug-in: how the host answers them, what it records and
// what it expects the plug-in to give back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "dispatch/host_call_records.h"
#include "host/simulated_host.h"
#include "probe_host.h"

namespace Vorn::Host {
namespace {

using namespace Testing;
using ::testing::ElementsAre;

// The probe's start sends GET thing, PATCH thing, GET stream, in this order.
enum ProbeRequest { kGetThing = 0, kPatchThing = 1, kGetStream = 2 };

TEST(SimulatedHostRequests, TheStoreAnswersNotFoundAndAPatchCreatesTheResource) {
    SimulatedHost host;
    ASSERT_TRUE(StartProbe(host));
    EXPECT_EQ(ProbeLog(host, "GET /probe/v1/thing")[0], "GET /probe/v1/thing: error 404 Not found");
    EXPECT_EQ(ProbeLog(host, "PATCH")[0], "PATCH /probe/v1/thing: null");

    ASSERT_EQ(host.Requests().size(), 3u);
    const RecordedRequest& get = host.Requests()[kGetThing];
    EXPECT_EQ(get.method, uint32_t{kHostMethodGet});
    EXPECT_EQ(get.path, kThing);
    EXPECT_EQ(get.context, host.Context());
    EXPECT_EQ(get.status, 404u);
    EXPECT_EQ(get.error, "Not found");
    EXPECT_TRUE(get.parameters.empty());

    const RecordedRequest& patch = host.Requests()[kPatchThing];
    EXPECT_EQ(patch.method, uint32_t{kHostMethodPatch});
    EXPECT_EQ(patch.status, 200u);
    EXPECT_FALSE(patch.error);
    ASSERT_EQ(patch.parameters.size(), 1u);
    EXPECT_FALSE(patch.parameters[0].name) << "a null name stays absent";
    EXPECT_EQ(JsonOf(&patch.parameters[0].value), R"({"b":{"y":2},"c":"new"})");
    EXPECT_EQ(patch.parameters[0].value.GetMember("c").Kind(), BindingKind::String);
    EXPECT_EQ(JsonOf(host.FindResource(kThing)), R"({"b":{"y":2},"c":"new"})");
}

TEST(SimulatedHostRequests, AStoredValueIsAnsweredAndPatchedIntoMemberByMember) {
    SimulatedHost host;
    BindingProperty stored = Json(R"({"a":-1,"b":{"x":1,"y":1},"c":[1,2]})");
    stored.Member("d").SetDouble(2.5);
    host.SetResource(kThing, stored);
    ASSERT_TRUE(StartProbe(host));
    EXPECT_EQ(ProbeLog(host, "GET /probe/v1/thing")[0],
              R"(GET /probe/v1/thing: {"a":-1,"b":{"x":1u,"y":1u},"c":[1u,2u],"d":2.5})");
    EXPECT_EQ(JsonOf(host.FindResource(kThing)), R"({"a":-1,"b":{"x":1,"y":2},"c":"new","d":2.5})");
    EXPECT_EQ(host.Requests()[kGetThing].status, 200u);
}

TEST(SimulatedHostRequests, AnEndpointAnswersBeforeTheStoreForItsMethodAndPathOnly) {
    SimulatedHost host;
    host.SetResource(kThing, Json(R"({"from":"store"})"));
    host.SetEndpoint(kHostMethodGet, kThing, [](const RecordedRequest&) { return Answer::Body(Json("1")); });
    std::vector<RecordedRequest> seen;
    host.SetEndpoint(kHostMethodGet, kThing, [&](const RecordedRequest& request) {
        seen.push_back(request);
        return Answer::Body(Json(R"({"from":"endpoint"})"));
    });
    host.SetEndpoint(kHostMethodGet, "/probe/v1/thing?x", [](const RecordedRequest&) {
        return Answer::Error(500, "a query string makes another path");
    });
    ASSERT_TRUE(StartProbe(host));
    EXPECT_EQ(ProbeLog(host, "GET /probe/v1/thing")[0], R"(GET /probe/v1/thing: {"from":"endpoint"})");
    ASSERT_EQ(seen.size(), 1u) << "the later endpoint replaced the earlier";
    EXPECT_EQ(seen[0].context, host.Context());
    EXPECT_EQ(JsonOf(host.FindResource(kThing)), R"({"b":{"y":2},"c":"new","from":"store"})")
        << "the PATCH still went to the store";

    host.Unload();
    host.RemoveEndpoint(kHostMethodGet, kThing);
    host.ClearRecords();
    ASSERT_TRUE(StartProbe(host));
    EXPECT_EQ(ProbeLog(host, "GET /probe/v1/thing")[0], R"(GET /probe/v1/thing: {"b":{"y":2},"c":"new","from":"store"})");
}

TEST(SimulatedHostRequests, EndpointErrorsAndFailuresBecomeErrorResponses) {
    SimulatedHost host;
    host.SetEndpoint(kHostMethodGet, kThing, [](const RecordedRequest&) { return Answer::Error(503, "Busy"); });
    host.SetEndpoint(kHostMethodPatch, kThing,
                     [](const RecordedRequest&) -> Answer { throw std::runtime_error("no patches today"); });
    ASSERT_TRUE(StartProbe(host));
    EXPECT_EQ(ProbeLog(host, "GET /probe/v1/thing")[0], "GET /probe/v1/thing: error 503 Busy");
    EXPECT_EQ(ProbeLog(host, "PATCH")[0], "PATCH /probe/v1/thing: error 500 Endpoint failed: no patches today");
    EXPECT_EQ(host.Requests()[kGetThing].status, 503u);
    EXPECT_EQ(host.Requests()[kPatchThing].error, "Endpoint failed: no patches today");
}

TEST(SimulatedHostRequests, AParameterOfAnUnknownKindIsRefused) {
    SimulatedHost host;
    ASSERT_TRUE(StartProbe(host));
    host.ClearRecords();
    host.DeliverEvent(kProbeEvent, Text("patch with a bad kind"));
    EXPECT_EQ(ProbeLog(host, "PATCH")[0],
              "PATCH /probe/v1/thing: error 400 Couldn't assign value to 'parameter 1' of type object because the "
              "input is of an incompatible type ''.");
    ASSERT_EQ(host.Requests().size(), 1u);
    EXPECT_EQ(host.Requests()[0].parameters[0].name, "bad");
    EXPECT_EQ(JsonOf(host.FindResource(kThing)), R"({"b":{"y":2},"c":"new"})") << "the store is not touched";
}

TEST(SimulatedHostRequests, TheReleaseOfEveryResponseIsRecordedAndASecondOneIgnored) {
    SimulatedHost host;
    ASSERT_TRUE(StartProbe(host));
    for (const RecordedRequest& request : host.Requests()) EXPECT_TRUE(request.released) << request.path;

    host.ClearRecords();
    host.DeliverEvent(kProbeEvent, Text("release twice"));
    host.DeliverEvent(kProbeEvent, Text("get without release"));
    ASSERT_EQ(host.Requests().size(), 2u);
    EXPECT_TRUE(host.Requests()[0].released);
    EXPECT_FALSE(host.Requests()[1].released);
    // What the plug-in never released is the host's to free once it stops.
    host.Stop();
    EXPECT_TRUE(TraceHas(host, "[    0.000s] the response to GET /probe/v1/thing was never released"));
    EXPECT_FALSE(host.Requests()[1].released);
}

// --- Streamed bodies --------------------------------------------------------------

// Answers the probe's streamed GET with 37 bytes of JSON text.
void StreamAlphabet(SimulatedHost& host, uint32_t chunk, std::optional<uint32_t> failAtRead = {},
                    uint32_t overReport = 0) {
    host.SetEndpoint(kHostMethodGet, kStream, [=](const RecordedRequest&) {
        Answer answer = Answer::Streamed(Json(R"({"text":"abcdefghijklmnopqrstuvwxyz"})"), chunk);
        answer.streamFailAtRead = failAtRead;
        answer.streamOverReport = overReport;
        return answer;
    });
}

TEST(SimulatedHostStreams, ABodyIsReadInChunksWithTheMoreFlagUntilTheLastByte) {
    struct Case {
        const char* description;
        uint32_t chunk;
        std::vector<std::string> reads;  // the probe reads at most 16 bytes
    };
    const Case cases[] = {
        {"chunks smaller than the buffer", 10,
         {"read 1: 10 bytes, more", "read 2: 10 bytes, more", "read 3: 10 bytes, more", "read 4: 7 bytes"}},
        {"the buffer limits a larger chunk", 100,
         {"read 1: 16 bytes, more", "read 2: 16 bytes, more", "read 3: 5 bytes"}},
        {"the last read carries the remainder", 12,
         {"read 1: 12 bytes, more", "read 2: 12 bytes, more", "read 3: 12 bytes, more", "read 4: 1 bytes"}},
    };
    for (const Case& c : cases) {
        SimulatedHost host;
        StreamAlphabet(host, c.chunk);
        ASSERT_TRUE(StartProbe(host));
        EXPECT_EQ(ProbeLog(host, "GET /probe/v1/stream")[0], "GET /probe/v1/stream: streamed, size 37") << c.description;
        EXPECT_EQ(ProbeLog(host, "read"), c.reads) << c.description;
        EXPECT_EQ(ProbeLog(host, "body")[0], R"(body {"text":"abcdefghijklmnopqrstuvwxyz"})") << c.description;

        const RecordedRequest& request = host.Requests()[kGetStream];
        EXPECT_TRUE(request.streamed) << c.description;
        EXPECT_EQ(request.status, 200u) << c.description;
        EXPECT_EQ(request.streamReads, c.reads.size()) << c.description;
        EXPECT_TRUE(request.streamReleased) << c.description;
        EXPECT_TRUE(request.released) << c.description;
        // The probe waits and yields between reads.
        EXPECT_EQ(host.YieldCount(), c.reads.size() - 1) << c.description;
        EXPECT_EQ(host.EndWaitCount(), c.reads.size() - 1) << c.description;
        EXPECT_EQ(host.WaitLabels(), std::vector<std::string>(c.reads.size() - 1, "probe: between reads"));
    }
}

TEST(SimulatedHostStreams, AnEmptyBodyIsOneReadOfNothing) {
    SimulatedHost host;
    host.SetEndpoint(kHostMethodGet, kStream, [](const RecordedRequest&) { return Answer::Streamed({}, 8); });
    ASSERT_TRUE(StartProbe(host));
    EXPECT_EQ(ProbeLog(host, "GET /probe/v1/stream")[0], "GET /probe/v1/stream: streamed, size 0");
    EXPECT_THAT(ProbeLog(host, "read"), ElementsAre("read 1: 0 bytes"));
    EXPECT_EQ(host.YieldCount(), 0u);
}

TEST(SimulatedHostStreams, AFailingReadEndsTheStreamWhichIsStillReleased) {
    SimulatedHost host;
    StreamAlphabet(host, 10, 1);
    ASSERT_TRUE(StartProbe(host));
    EXPECT_THAT(ProbeLog(host, "read"), ElementsAre("read 1: 10 bytes, more", "read 2 failed"));
    const RecordedRequest& request = host.Requests()[kGetStream];
    EXPECT_EQ(request.streamReads, 2u);
    EXPECT_TRUE(request.streamReleased);
    EXPECT_TRUE(request.released);
}

TEST(SimulatedHostStreams, AnOverReportedLengthReachesThePlugIn) {
    SimulatedHost host;
    StreamAlphabet(host, 10, std::nullopt, 20);
    ASSERT_TRUE(StartProbe(host));
    EXPECT_THAT(ProbeLog(host, "read"), ElementsAre("read 1: 30 bytes reported for a buffer of 16"));
    EXPECT_TRUE(TraceHas(host, "[    0.000s] stream read 1 of GET /probe/v1/stream: 10 bytes (reported 30), more"));
}

TEST(SimulatedHostStreams, TheYieldHookRunsBetweenReads) {
    SimulatedHost host;
    StreamAlphabet(host, 20);
    int yields = 0;
    host.SetYieldHook([&] {
        ++yields;
        host.Advance(5 * kMillisecond);
        host.DeliverEvent(kProbeEvent, Json("7"));
    });
    ASSERT_TRUE(StartProbe(host));
    EXPECT_EQ(yields, 2);
    EXPECT_EQ(host.Now(), 10 * kMillisecond);
    std::vector<std::string> log = ProbeLog(host);
    auto first = std::find(log.begin(), log.end(), "read 1: 16 bytes, more");
    ASSERT_LT(first + 2, log.end());
    EXPECT_EQ(*(first + 1), "event OnJsonApiEvent_probe_v1_thing user=0x77 7u");
    EXPECT_EQ(*(first + 2), "read 2: 16 bytes, more");
}

}  // namespace
}  // namespace Vorn::Host

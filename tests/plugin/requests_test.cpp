// Typed requests to the host: every parameter and result form, errors with
// their messages and codes, streamed bodies, and the release of every
// response record.
#include <gtest/gtest.h>

#include <string>

#include "test_plugin_fixture.h"

namespace Vorn::Testing {
namespace {

class Requests : public TestPluginHost {
protected:
    // Every response the plug-in received was handed back to the host, and
    // every request left the fields it does not use zero.
    void TearDown() override {
        for (const Host::RecordedRequest& request : host_.Requests()) {
            EXPECT_TRUE(request.released) << request.path;
            EXPECT_TRUE(request.unusedZero) << request.path;
            if (request.streamed) {
                EXPECT_EQ(request.streamReleases, 1u) << request.path;
            }
        }
    }
};

TEST_F(Requests, ResultForms) {
    host_.SetResource("/r/value", Json(R"({"x":[1,"a"]})"));
    host_.SetResource("/r/lamp", Json(R"({"id":3,"name":"hall","light":"Blinking"})"));
    host_.SetResource("/r/light", Json(R"("On")"));
    host_.SetResource("/r/lamps", Json(R"([{"id":1},{"id":2,"light":1}])"));
    const struct {
        const char* command;
        const char* report;
    } cases[] = {
        {R"({"action":"request","path":"/r/value","result":"value"})", R"({"ok":true,"value":{"x":[1,"a"]}})"},
        {R"({"action":"request","path":"/r/value"})", R"({"ok":true})"},
        {R"({"action":"request","path":"/r/lamp","result":"record"})",
         R"({"ok":true,"value":{"history":[],"id":3,"light":7,"name":"hall"}})"},
        {R"({"action":"request","path":"/r/light","result":"enum"})", R"({"ok":true,"value":1})"},
        {R"({"action":"request","path":"/r/lamps","result":"vector"})",
         R"({"ok":true,"value":[{"history":[],"id":1,"light":0,"name":""},{"history":[],"id":2,"light":1,"name":""}]})"},
    };
    for (const auto& c : cases) EXPECT_EQ(Compact(RunOne(c.command)), c.report) << c.command;
}

TEST_F(Requests, ParameterFormsAsTheHostSeesThem) {
    RunOne(R"({"action":"request","method":6,"path":"/r/lamp","params":"record","id":9})");
    RunOne(R"({"action":"request","method":5,"path":"/r/named","params":"named","a":1,"b":"two"})");
    RunOne(R"({"action":"request","method":2,"path":"/r/positional","params":"positional","first":77})");
    RunOne(R"({"action":"request","method":2,"path":"/r/none"})");
    RunOne(R"({"action":"request","method":6,"path":"/r/no-names","params":"named"})");

    const auto lamp = RequestsTo(host_, kHostMethodPost, "/r/lamp");
    ASSERT_EQ(lamp.size(), 1u);
    ASSERT_EQ(lamp[0]->parameters.size(), 1u);
    EXPECT_FALSE(lamp[0]->parameters[0].name.has_value());
    EXPECT_EQ(Compact(lamp[0]->parameters[0].value), R"({"history":[1,2],"id":9,"light":"On","name":"desk"})")
        << "a registered record, its enums by name";
    EXPECT_EQ(lamp[0]->context, host_.Context());

    const auto named = RequestsTo(host_, kHostMethodPatch, "/r/named");
    ASSERT_EQ(named.size(), 1u);
    ASSERT_EQ(named[0]->parameters.size(), 1u);
    EXPECT_EQ(Compact(named[0]->parameters[0].value), R"({"a":1,"b":"two"})");

    const auto positional = RequestsTo(host_, kHostMethodGet, "/r/positional");
    ASSERT_EQ(positional.size(), 1u);
    ASSERT_EQ(positional[0]->parameters.size(), 2u);
    EXPECT_EQ(Compact(positional[0]->parameters[0].value), "[77]");
    EXPECT_EQ(Compact(positional[0]->parameters[1].value), "[1,-2]");
    EXPECT_FALSE(positional[0]->parameters[1].name.has_value());

    const auto none = RequestsTo(host_, kHostMethodGet, "/r/none");
    ASSERT_EQ(none.size(), 1u);
    EXPECT_TRUE(none[0]->parameters.empty());
    const auto noNames = RequestsTo(host_, kHostMethodPost, "/r/no-names");
    ASSERT_EQ(noNames.size(), 1u);
    ASSERT_EQ(noNames[0]->parameters.size(), 1u);
    EXPECT_EQ(noNames[0]->parameters[0].value.Kind(), BindingKind::Structure) << "no names: still one structure";
}

TEST_F(Requests, ErrorsCarryTheirMessageAndCode) {
    EXPECT_EQ(Compact(RunOne(R"({"action":"request","path":"/r/absent","result":"value"})")),
              R"({"code":404,"message":"Error response for GET /r/absent: Not found","ok":false})");
    host_.SetEndpoint(kHostMethodPut, "/r/busy", [](const Host::RecordedRequest&) {
        return Host::Answer::Error(503, "Busy");
    });
    EXPECT_EQ(Compact(RunOne(R"({"action":"request","method":7,"path":"/r/busy"})")),
              R"({"code":503,"message":"Error response for PUT /r/busy: Busy","ok":false})");

    const std::size_t sent = host_.Requests().size();
    const BindingProperty unsent = RunOne(R"({"action":"request","method":6,"path":"/r/x","params":"unregistered"})");
    EXPECT_EQ(unsent.GetMember("code").AsUnsigned(), 400u) << Compact(unsent);
    EXPECT_EQ(unsent.GetMember("message").AsString(),
              "Request not sent: Error converting parameters for POST /r/x: Couldn't convert native value because "
              "it's an unregistered structure.");
    EXPECT_EQ(Compact(RunOne(R"({"action":"request","method":6,"path":"/r/deep","params":"deep"})")),
              R"({"code":400,"message":"Request not sent: Error converting parameters for POST /r/deep: )"
              R"(The parameters are nested too deeply to be sent.","ok":false})");
    EXPECT_EQ(host_.Requests().size(), sent) << "nothing reaches the host";

    host_.SetEndpoint(kHostMethodGet, "/r/odd", [](const Host::RecordedRequest&) {
        Host::Answer answer;
        answer.flatBody = BindingFlatValue{};
        answer.flatBody->kind = 99;
        return answer;
    });
    EXPECT_EQ(Compact(RunOne(R"({"action":"request","path":"/r/odd","result":"value"})")),
              R"({"code":0,"message":"Error converting response for GET /r/odd: Couldn't assign value to '<result>' )"
              R"(of type object because the input is of an incompatible type ''.","ok":false})");
    EXPECT_EQ(Compact(RunOne(R"({"action":"request","path":"/r/odd"})")), R"({"ok":true})")
        << "no result wanted: the body is not read";
    // The failed conversion's message goes with it.
    const auto inUse = [this] {
        const PluginMemoryStatistics statistics = host_.MemoryStatistics();
        return statistics.counters[2] - statistics.counters[4];
    };
    const uint64_t held = inUse();
    for (int i = 0; i < 10; ++i) RunOne(R"({"action":"request","path":"/r/odd","result":"value"})");
    EXPECT_EQ(inUse(), held);

    host_.SetResource("/r/bad", Json(R"({"id":"seven"})"));
    const BindingProperty unconverted = RunOne(R"({"action":"request","path":"/r/bad","result":"record"})");
    EXPECT_EQ(Compact(unconverted.GetMember("code")), "0");
    EXPECT_EQ(unconverted.GetMember("message").AsString().substr(0, 44),
              "Error converting response for GET /r/bad: Va");
}

std::string Filler(std::size_t jsonLength) {
    // {"s":"xxx"} is 8 bytes of syntax around the text.
    return std::string(R"({"s":")") + std::string(jsonLength - 8, 'x') + "\"}";
}

TEST_F(Requests, StreamedBodiesInChunks) {
    const std::string text = Filler(1000);
    host_.SetEndpoint(kHostMethodGet, "/s/small", [&](const Host::RecordedRequest&) {
        return Host::Answer::Streamed(Json(text), 100);
    });
    const BindingProperty report = RunOne(R"({"action":"request","path":"/s/small","result":"value"})");
    EXPECT_EQ(Compact(report.GetMember("value")), text);
    const auto streamed = RequestsTo(host_, kHostMethodGet, "/s/small");
    ASSERT_EQ(streamed.size(), 1u);
    EXPECT_EQ(streamed[0]->streamReads, 10u);
    EXPECT_EQ(host_.YieldCount(), 9u) << "a short chunk with more to come yields";
    std::vector<std::string> waits;
    for (const std::string& line : host_.Trace()) {
        const std::string call = line.substr(line.find("] ") + 2);
        if (call.find("wait") != std::string::npos || call == "yield") waits.push_back(call);
    }
    ASSERT_EQ(waits.size(), 27u);
    for (std::size_t i = 0; i < waits.size(); i += 3) {
        EXPECT_EQ(std::vector<std::string>(waits.begin() + i, waits.begin() + i + 3),
                  (std::vector<std::string>{"begin wait 'Wait: yield'", "yield", "end wait"}));
    }

    // The size hint reserves the text, up to 16 MiB however much it claims.
    host_.SetEndpoint(kHostMethodGet, "/s/boast", [](const Host::RecordedRequest&) {
        Host::Answer answer = Host::Answer::Streamed(Json("[1]"), 100);
        answer.streamSizeHint = 0xFFFFFFFFu;
        return answer;
    });
    const PluginMemoryStatistics before = host_.MemoryStatistics();
    EXPECT_EQ(Compact(RunOne(R"({"action":"request","path":"/s/boast","result":"value"})")), R"({"ok":true,"value":[1]})");
    const uint64_t inUse = before.counters[2] - before.counters[4];
    const uint64_t peak = host_.MemoryStatistics().counters[0];
    EXPECT_GE(peak, inUse + (16u << 20));
    EXPECT_LT(peak, inUse + (17u << 20));
}

TEST_F(Requests, AFullChunkWithNothingMoreNeedsNoYield) {
    const struct {
        std::size_t length;
        uint32_t reads;
    } cases[] = {{4096, 1}, {9000, 3}};  // 9000: two full chunks, then the rest
    for (const auto& c : cases) {
        const std::string path = "/s/" + std::to_string(c.length);
        host_.SetEndpoint(kHostMethodGet, path, [text = Filler(c.length)](const Host::RecordedRequest&) {
            return Host::Answer::Streamed(Json(text), 4096);
        });
        EXPECT_EQ(Compact(RunOne(R"({"action":"request","path":")" + path + R"(","result":"value","brief":true})")),
                  R"({"length":)" + std::to_string(c.length) + R"(,"ok":true})");
        EXPECT_EQ(RequestsTo(host_, kHostMethodGet, path)[0]->streamReads, c.reads);
    }
    EXPECT_EQ(host_.YieldCount(), 0u);
}

TEST_F(Requests, BrokenStreamsFailAndAreStillReleased) {
    host_.SetEndpoint(kHostMethodGet, "/s/fails", [](const Host::RecordedRequest&) {
        Host::Answer answer = Host::Answer::Streamed(Json(R"({"a":"0123456789"})"), 4);
        answer.streamFailAtRead = 2;
        return answer;
    });
    host_.SetEndpoint(kHostMethodGet, "/s/lies", [](const Host::RecordedRequest&) {
        Host::Answer answer = Host::Answer::Streamed(Json(R"({"a":"0123456789"})"), 4);
        answer.streamOverReport = 8192;  // claims more than the 4096-byte buffer holds
        return answer;
    });
    host_.SetEndpoint(kHostMethodGet, "/s/garbage", [](const Host::RecordedRequest&) {
        return Host::Answer::Streamed(Json(R"("not an object")"), 3);
    });
    host_.SetEndpoint(kHostMethodGet, "/s/text", [](const Host::RecordedRequest&) {
        Host::Answer answer = Host::Answer::Streamed({}, 5);
        answer.streamText = "not JSON";
        return answer;
    });
    EXPECT_EQ(Compact(RunOne(R"({"action":"request","path":"/s/fails","result":"value"})")),
              R"({"code":0,"message":"Error reading streamed response for GET /s/fails: Stream read error","ok":false})");
    EXPECT_EQ(Compact(RunOne(R"({"action":"request","path":"/s/text","result":"value"})")),
              R"({"code":0,"message":"Error reading streamed response for GET /s/text: Error: Invalid value. at )"
              R"(offset 1.","ok":false})");
    EXPECT_EQ(RunOne(R"({"action":"request","path":"/s/lies","result":"value"})").GetMember("message").AsString(),
              "Error reading streamed response for GET /s/lies: Stream read error");
    EXPECT_EQ(RequestsTo(host_, kHostMethodGet, "/s/lies")[0]->streamReads, 1u);
    EXPECT_EQ(Compact(RunOne(R"({"action":"request","path":"/s/garbage","result":"record"})")),
              R"({"code":0,"message":"Error converting response for GET /s/garbage: Couldn't assign value to )"
              R"('<result>' of type VornTestPluginLamp because the input not a structure.","ok":false})");

    // Streams nobody reads are released all the same (checked on tear-down):
    // the answer to a request without a result, and an error reply that
    // carries one.
    host_.SetEndpoint(kHostMethodGet, "/s/error", [](const Host::RecordedRequest&) {
        Host::Answer answer = Host::Answer::Error(502, "Upstream");
        answer.streamChunk = 4;
        answer.streamText = "details";
        return answer;
    });
    EXPECT_EQ(Compact(RunOne(R"({"action":"request","path":"/s/garbage"})")), R"({"ok":true})");
    EXPECT_EQ(Compact(RunOne(R"({"action":"request","path":"/s/error","result":"value"})")),
              R"({"code":502,"message":"Error response for GET /s/error: Upstream","ok":false})");
    for (const char* path : {"/s/garbage", "/s/error"}) {
        EXPECT_EQ(RequestsTo(host_, kHostMethodGet, path).back()->streamReads, 0u) << path;
    }
}

// The host's injected faults, as the fault sweep uses them, reach the
// plug-in as a hostile host's would.
TEST_F(Requests, InjectedFaultsReachThePlugin) {
    host_.SetEndpoint(kHostMethodGet, "/s/faulty", [](const Host::RecordedRequest&) {
        return Host::Answer::Streamed(Json(R"({"a":"0123456789"})"), 4);
    });
    const struct {
        Host::InjectedFault fault;
        uint64_t at;  // 1: the answer, 2: its first read
        const char* report;
    } cases[] = {
        {Host::InjectedFault::AnswerFails, 1,
         R"({"code":500,"message":"Error response for GET /s/faulty: Injected fault","ok":false})"},
        {Host::InjectedFault::AnswerWrongKind, 1, R"({"ok":true,"value":"injected"})"},
        {Host::InjectedFault::ReadFails, 2,
         R"({"code":0,"message":"Error reading streamed response for GET /s/faulty: Stream read error","ok":false})"},
        {Host::InjectedFault::ReadEndsShort, 2,
         R"({"code":0,"message":"Error reading streamed response for GET /s/faulty: Error: The document is empty. )"
         R"(at offset 0.","ok":false})"},
        {Host::InjectedFault::TaskDropped, 1, R"({"ok":true,"value":{"a":"0123456789"}})"},  // fits no answer
    };
    for (const auto& c : cases) {
        host_.InjectFault(host_.Interactions().size() + c.at, c.fault);
        EXPECT_EQ(Compact(RunOne(R"({"action":"request","path":"/s/faulty","result":"value"})")), c.report)
            << Host::InjectedFaultName(c.fault);
    }
}

}  // namespace
}  // namespace Vorn::Testing

// Calls of exposed functions as the host makes them: the echo plug-in,
// loaded by the simulated host, answers each call with the arguments it
// received, so every step of a call shows in what comes back.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "binding/binding_limits.h"
#include "boundary_field.h"
#include "dispatch/api_table_records.h"
#include "host_test_helpers.h"

namespace Vorn::Testing {
namespace {

class EchoCalls : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(host_.Load(VORN_ECHO_PLUGIN_PATH, &error)) << error;
        ASSERT_TRUE(host_.Start());
    }

    // Every response went back to the plug-in and was cleared by it.
    void TearDown() override {
        for (const Host::RecordedCall& call : host_.Calls()) {
            if (call.result.called) {
                EXPECT_TRUE(call.result.released) << call.call.function << " " << call.call.path;
            }
        }
    }

    static Host::FunctionCall Echo(std::string path, std::vector<std::pair<std::string, std::string>> headers = {}) {
        Host::FunctionCall call;
        call.function = "Echo";
        call.method = kHostMethodGet;
        call.path = std::move(path);
        call.headers = std::move(headers);
        return call;
    }

    static Host::FunctionCall Submit(std::optional<std::string> contentType, std::string body,
                                     std::string path = "/echo/v1/submit") {
        Host::FunctionCall call;
        call.function = "Submit";
        call.method = kHostMethodPost;
        call.path = std::move(path);
        call.contentType = std::move(contentType);
        call.body = std::move(body);
        return call;
    }

    // The result as compact JSON, or the status and error of a failure.
    std::string Summary(const Host::FunctionCall& call) {
        const Host::CallResult result = host_.CallFunction(call);
        EXPECT_TRUE(result.called) << result.error.value_or("");
        if (!result.failed) {
            EXPECT_FALSE(result.error.has_value()) << "a message without the failed flag";
            EXPECT_EQ(result.status, 0u) << "a success leaves the status at 0";
            return Compact(result.value);
        }
        EXPECT_TRUE(result.value.IsEmpty()) << "a failure carries no result";
        return std::to_string(result.status) + " " + result.error.value_or("(no message)");
    }

    Host::SimulatedHost host_;
};

// What a host reads to call the functions (the records themselves are
// checked with the API table).
TEST_F(EchoCalls, TheApiTableDescribesEachFunction) {
    const ApiTable* table = host_.Record().apiTable;
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(Field(table->functionCount), 4u);
    const struct {
        const char* name;
        const char* pathTemplate;
        uint32_t method;
        std::vector<uint32_t> types;
        std::vector<uint32_t> locations;
    } functions[] = {
        {"Echo", "/echo/v1/items/{id}", 2, {12, 6, 1, 13, 12}, {2, 1, 0, 0, 4}},
        {"Files", "/echo/v1/files/{+path}", 2, {12}, {2}},
        {"Ping", "", 0, {}, {}},
        {"Submit", "/echo/v1/submit", 6, {13, 12}, {5, 0}},
    };
    std::set<const void*> contexts;
    for (uint32_t i = 0; i < 4; ++i) {
        const ApiFunctionEntry& entry = table->functions[i];
        const auto& expected = functions[i];
        EXPECT_STREQ(Field(entry.name), expected.name) << "in name order";
        EXPECT_STREQ(Field(entry.pathTemplate), expected.pathTemplate);
        EXPECT_EQ(Field(entry.method), expected.method) << expected.name;
        EXPECT_NE(Field(entry.call), nullptr);
        contexts.insert(Field(entry.context));
        EXPECT_STREQ(Field(entry.resultDescribedType), (std::string("VornEcho") + expected.name + "Result").c_str());
        std::vector<uint32_t> types;
        for (const ApiArgumentEntry* a = Field(entry.arguments); a != nullptr; a = Field(a->next)) types.push_back(Field(a->type));
        std::vector<uint32_t> locations;
        for (const ApiArgumentLocation* l = Field(entry.locations); l != nullptr; l = Field(l->next)) {
            locations.push_back(Field(l->location));
        }
        EXPECT_EQ(types, expected.types) << expected.name;
        EXPECT_EQ(locations, expected.locations) << expected.name;
        EXPECT_EQ(Field(entry.threadSafe), i == 0 ? 1u : 0u) << expected.name << ": only Echo is marked thread-safe";
    }
    EXPECT_EQ(contexts.size(), 4u) << "one context per function";
    EXPECT_EQ(contexts.count(nullptr), 0u);
}

TEST_F(EchoCalls, ArgumentsFromPathQueryAndHeaders) {
    const struct {
        const char* path;
        std::vector<std::pair<std::string, std::string>> headers;
        const char* result;
    } cases[] = {
        {"/echo/v1/items/7", {}, R"({"count":0,"filter":null,"id":"7","trace":"","verbose":false})"},
        {"/echo/v1/items/a%20b+c", {}, R"({"count":0,"filter":null,"id":"a b c","trace":"","verbose":false})"},
        {"/echo/v1/items/%zz", {}, R"({"count":0,"filter":null,"id":"%zz","trace":"","verbose":false})"},
        {"/echo/v1/items/7?verbose", {}, R"({"count":0,"filter":null,"id":"7","trace":"","verbose":true})"},
        {"/echo/v1/items/7?verbose=false", {}, R"({"count":0,"filter":null,"id":"7","trace":"","verbose":false})"},
        {"/echo/v1/items/7?verbose=1&count=0x10", {}, R"({"count":16,"filter":null,"id":"7","trace":"","verbose":true})"},
        {"/echo/v1/items/7?count=1&count=-2", {}, R"({"count":-2,"filter":null,"id":"7","trace":"","verbose":false})"},
        {"/echo/v1/items/7?co%75nt=3", {}, R"({"count":3,"filter":null,"id":"7","trace":"","verbose":false})"},
        {"/echo/v1/items/7?filter=a=b", {}, R"({"count":0,"filter":"a=b","id":"7","trace":"","verbose":false})"},
        {"/echo/v1/items/7?filter={\"a\":1}", {}, R"({"count":0,"filter":{"a":1},"id":"7","trace":"","verbose":false})"},
        {"/echo/v1/items/7?filter=%20[1,2]", {}, R"({"count":0,"filter":[1,2],"id":"7","trace":"","verbose":false})"},
        {"/echo/v1/items/7?filter=---%0aa:%20b", {}, R"({"count":0,"filter":{"a":"b"},"id":"7","trace":"","verbose":false})"},
        {"/echo/v1/items/7?filter=%81%A1a%01", {}, R"({"count":0,"filter":{"a":1},"id":"7","trace":"","verbose":false})"},
        {"/echo/v1/items/7?filter=abc", {}, R"({"count":0,"filter":"abc","id":"7","trace":"","verbose":false})"},
        {"/echo/v1/items/7?filter=", {}, R"({"count":0,"filter":{},"id":"7","trace":"","verbose":false})"},
        {"/echo/v1/items/7?filter.name=z", {}, R"({"count":0,"filter":{"name":"z"},"id":"7","trace":"","verbose":false})"},
        {"/echo/v1/items/7?filter.2=x", {}, R"({"count":0,"filter":[null,null,"x"],"id":"7","trace":"","verbose":false})"},
        {"/echo/v1/items/7?filter.0x1=y", {}, R"({"count":0,"filter":[null,"y"],"id":"7","trace":"","verbose":false})"},
        {"/echo/v1/items/7?filter.010=y&filter.7=z", {},
         R"({"count":0,"filter":[null,null,null,null,null,null,null,"z","y"],"id":"7","trace":"","verbose":false})"},
        {"/echo/v1/items/7?filter.a.1.b={x}", {},
         R"({"count":0,"filter":{"a":[null,{"b":"{x}"}]},"id":"7","trace":"","verbose":false})"},
        {"/echo/v1/items/7?filter.a=", {}, R"({"count":0,"filter":{"a":""},"id":"7","trace":"","verbose":false})"},
        {"/echo/v1/items/7", {{"trace", "t-1"}}, R"({"count":0,"filter":null,"id":"7","trace":"t-1","verbose":false})"},
        {"/echo/v1/items/7", {{"Trace", "t-1"}}, R"({"count":0,"filter":null,"id":"7","trace":"","verbose":false})"},
        {"/echo/v1/items/7", {{"trace", "a"}, {"trace", "b"}},
         R"({"count":0,"filter":null,"id":"7","trace":"b","verbose":false})"},
        {"/echo/v1/items/7", {{"verbose", "true"}, {"other", "x"}},
         R"({"count":0,"filter":null,"id":"7","trace":"","verbose":true})"},
        {"/echo/v1/items/7?verbose=false", {{"verbose", "true"}},
         R"({"count":0,"filter":null,"id":"7","trace":"","verbose":false})"},
    };
    for (const auto& c : cases) EXPECT_EQ(Summary(Echo(c.path, c.headers)), c.result) << c.path;
}

TEST_F(EchoCalls, FailuresOfRoutingAndArguments) {
    const struct {
        uint32_t method;
        const char* path;
        const char* outcome;
    } cases[] = {
        {kHostMethodPost, "/echo/v1/items/7", "404 Invalid function"},
        {kHostMethodAny, "/echo/v1/items/7", "404 Invalid function"},
        {99, "/echo/v1/items/7", "404 Invalid function"},
        {kHostMethodGet, "/echo/v1/items/7/8", "404 Invalid function"},
        {kHostMethodGet, "/echo/v1/items", "404 Invalid function"},
        {kHostMethodGet, "/echo/v1/items/7?count=", "0 Expected value for argument 'count'."},
        {kHostMethodGet, "/echo/v1/items/7?count=abc", "0 Value abc for 'count' of type int32 is in an incorrect format"},
        {kHostMethodGet, "/echo/v1/items/7?count=4294967296",
         "0 Value 4294967296 for 'count' of type int32 is out of range"},
        {kHostMethodGet, "/echo/v1/items/7?verbose=yes",
         "0 Value yes for 'verbose' of type bool is in an incorrect format. Options are \"true\", \"false\", \"1\", \"0\"."},
        {kHostMethodGet, "/echo/v1/items/7?id=3", "0 Argument 'id' for 'Echo' was specified in an invalid location."},
        {kHostMethodGet, "/echo/v1/items/7?trace=x", "0 Argument 'trace' for 'Echo' was specified in an invalid location."},
        {kHostMethodGet, "/echo/v1/items/7?bogus=1", "0 Unknown argument 'bogus' for 'Echo'."},
        {kHostMethodGet, "/echo/v1/items/7?verbose&", "0 Unknown argument '' for 'Echo'."},
        {kHostMethodGet, "/echo/v1/items/7?filter.1z=y", "0 Index 1z is in an incorrect format"},
        {kHostMethodGet, "/echo/v1/items/7?filter.0x=y", "0 Index 0x is in an incorrect format"},
        {kHostMethodGet, "/echo/v1/items/7?filter.4294967295=y", "0 Index 4294967295 is out of range"},
        {kHostMethodGet, "/echo/v1/items/7?filter.99999999999999999999=y", "0 Index 99999999999999999999 is out of range"},
        {kHostMethodGet, "/echo/v1/items/7?filter.2147483647=y", "0 Index 2147483647 is out of range"},
        {kHostMethodGet, "/echo/v1/items/7?filter.18446744073709551615=y", "0 Index 18446744073709551615 is out of range"},
        {kHostMethodGet, "/echo/v1/items/7?filter.a.40000=x&filter.b.40000=y", "0 Index 40000 is out of range"},
        // 65535 elements, one more, and then one too many.
        {kHostMethodGet, "/echo/v1/items/7?filter.65534=x&filter.65535=y&count.0=1", "0 Index 0 is out of range"},
        {kHostMethodGet, "/echo/v1/items/7?filter={\"a\":",
         "0 Couldn't deserialize JSON value for parameter 'filter' of 'Echo': Error: Invalid value. at offset 5."},
        // Values convert to their types when the function is called, after
        // every source was read.
        {kHostMethodGet, "/echo/v1/items/7?count=abc&bogus=1", "0 Unknown argument 'bogus' for 'Echo'."},
    };
    for (const auto& c : cases) {
        Host::FunctionCall call = Echo(c.path);
        call.method = c.method;
        EXPECT_EQ(Summary(call), c.outcome) << c.method << " " << c.path;
    }
    EXPECT_EQ(Summary(Echo("/echo/v1/items/7?filter.65535=y")).substr(0, 8), R"({"count")")
        << "an index may make a collection of 65536 elements";
    EXPECT_EQ(Summary(Echo("/echo/v1/items/7?filter.65534=x&filter.65535=y")).substr(0, 8), R"({"count")")
        << "growing a collection counts only the elements added";
}

TEST_F(EchoCalls, NamedValuesByNameAndAfterThePathParameters) {
    const auto named = [](std::optional<std::string> name, const char* json) {
        return Host::RecordedParameter{std::move(name), Json(json)};
    };
    const struct {
        std::vector<Host::RecordedParameter> values;
        const char* outcome;
        const char* path = "/echo/v1/items/7";
    } cases[] = {
        {{named("count", "5"), named("verbose", "true")},
         R"({"count":5,"filter":null,"id":"7","trace":"","verbose":true})"},
        {{named(std::nullopt, "9")}, R"({"count":9,"filter":null,"id":"7","trace":"","verbose":false})"},
        {{named(std::nullopt, "9"), named(std::nullopt, "true"), named(std::nullopt, R"({"k":[1]})"),
          named(std::nullopt, R"("tr")")},
         R"({"count":9,"filter":{"k":[1]},"id":"7","trace":"tr","verbose":true})"},
        {{named("filter", R"({"a":1})"), named("filter", R"({"b":2})")},
         R"({"count":0,"filter":{"a":1,"b":2},"id":"7","trace":"","verbose":false})"},
        {{named("id", R"("from a value")")},
         R"({"count":0,"filter":null,"id":"from a value","trace":"","verbose":false})"},
        {{named("count", "5")}, R"({"count":5,"filter":null,"id":"7","trace":"","verbose":false})",
         "/echo/v1/items/7?count=3"},
        {{named(std::nullopt, "1"), named(std::nullopt, "true"), named(std::nullopt, "null"),
          named(std::nullopt, R"("t")"), named(std::nullopt, "2")},
         "0 Unknown argument '5' for 'Echo'."},
        {{named("nope", "1")}, "0 Unknown argument 'nope' for 'Echo'."},
        {{named("count", R"("x")")}, "0 Value x for 'count' of type int32 is in an incorrect format"},
        {{named("trace", "3")}, "0 Couldn't assign value to 'trace' because the input is not a string."},
    };
    for (const auto& c : cases) {
        Host::FunctionCall call = Echo(c.path);
        call.values = c.values;
        EXPECT_EQ(Summary(call), c.outcome) << Compact(c.values.front().value);
    }
    // Submit has no path parameter: the first unnamed value is its first argument.
    Host::FunctionCall submit = Submit(std::nullopt, "");
    submit.body.reset();
    submit.values = {named(std::nullopt, R"({"p":1})"), named(std::nullopt, R"("t")")};
    EXPECT_EQ(Summary(submit), R"({"payload":{"p":1},"tag":"t"})");
    // The body comes last of all.
    Host::FunctionCall both = Submit("application/json", R"({"b":2})", "/echo/v1/submit?tag=q");
    both.values = {named("payload", R"({"p":1})"), named("tag", R"("t")")};
    EXPECT_EQ(Summary(both), R"({"payload":{"b":2},"tag":"t"})");
}

TEST_F(EchoCalls, BodiesByContentType) {
    const std::string pack = "\x81\xA1" "a\x01";  // {"a":1}
    const struct {
        std::optional<std::string> contentType;
        std::string body;
        const char* outcome;
    } cases[] = {
        {"application/json", R"({"a":1})", R"({"payload":{"a":1},"tag":""})"},
        {"application/json; charset=utf-8", "[1]", R"({"payload":[1],"tag":""})"},
        {"Application/JSON", "2", R"({"payload":2,"tag":""})"},
        {"application/vnd.api+json", "null", R"({"payload":null,"tag":""})"},
        {"application/x-yaml", "a: [1, two]", R"({"payload":{"a":[1,"two"]},"tag":""})"},
        {"application/x-msgpack", pack, R"({"payload":{"a":1},"tag":""})"},
        {"application/X-MsgPack-ext", pack, R"({"payload":{"a":1},"tag":""})"},
        {"application/x-msgpack", pack + '\xC0', "0 Extra MessgePack data found in body"},
        {"application/x-msgpack", "\x81\xA1", "0 Invalid MessagePack data. String of size 1 at position 2 is truncated."},
        {"application/json", "{", "0 Error: Missing a name for object member. at offset 1."},
        {"text/json", "{}", "0 Unsupported body content type"},
        {"xpplication/json", "{}", "0 Unsupported body content type"},  // every byte of the type counts
        {"", "{}", "0 Unsupported body content type"},
        {std::nullopt, "{}", "0 Unsupported body content type"},
        {"text/x-yaml", "a: 1", "0 Unsupported body content type"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Summary(Submit(c.contentType, c.body)), c.outcome) << c.contentType.value_or("(none)") << " " << c.body;
    }
}

TEST_F(EchoCalls, TheBodyIsReadEvenAfterAFailureAndItsFailureWins) {
    EXPECT_EQ(Summary(Submit("application/json", "{", "/echo/v1/submit?bogus=1")),
              "0 Error: Missing a name for object member. at offset 1.");
    EXPECT_EQ(Summary(Submit("application/json", "{}", "/echo/v1/submit?bogus=1")),
              "0 Unknown argument 'bogus' for 'Submit'.");
    EXPECT_EQ(Summary(Submit("application/json", "{}", "/echo/v1/submit?tag=x")), R"({"payload":{},"tag":"x"})");
    EXPECT_EQ(Summary(Submit("application/json", "{}", "/echo/v1/submit?payload=x")),
              "0 Argument 'payload' for 'Submit' was specified in an invalid location.");
    // A function without a body argument ignores a body.
    Host::FunctionCall echo = Echo("/echo/v1/items/7");
    echo.contentType = "text/plain";
    echo.body = "ignored";
    EXPECT_EQ(Summary(echo), R"({"count":0,"filter":null,"id":"7","trace":"","verbose":false})");
}

TEST_F(EchoCalls, RestOfPathAndLiteralRoutes) {
    Host::FunctionCall files;
    files.function = "Files";
    files.method = kHostMethodGet;
    files.customMethod = "PURGE";  // read only with method 8
    const struct {
        const char* path;
        const char* outcome;
    } cases[] = {
        {"/echo/v1/files/a/b%20c", R"({"path":"a/b c"})"},
        {"/echo/v1/files/", "0 Expected value for argument 'path'."},
        {"/echo/v1/files/a?x", "0 Unknown argument 'x' for 'Files'."},
        {"/echo/v1/files", "404 Invalid function"},
    };
    for (const auto& c : cases) {
        files.path = c.path;
        EXPECT_EQ(Summary(files), c.outcome) << c.path;
    }

    Host::FunctionCall ping;
    ping.function = "Ping";
    ping.path = "Ping";
    for (uint32_t method : {kHostMethodAny, kHostMethodGet, kHostMethodPost, kHostMethodCustom}) {
        ping.method = method;
        ping.customMethod = method == kHostMethodCustom ? "PURGE" : "";
        EXPECT_EQ(Summary(ping), "{}") << "any method, " << method;
    }
    ping.path = "Ping?x=1";
    EXPECT_EQ(Summary(ping), "0 Unknown argument 'x' for 'Ping'.") << "a literal route matches before the query";
    ping.path = "/Ping";
    EXPECT_EQ(Summary(ping), "404 Invalid function");
}

TEST_F(EchoCalls, AResultTooDeepToSendIsAFailure) {
    // The deepest body the reader takes; the result wraps it once more.
    const std::string deep = std::string(kMaxNestingDepth, '[') + std::string(kMaxNestingDepth, ']');
    EXPECT_EQ(Summary(Submit("application/json", deep)), "400 The result of 'Submit' is nested too deeply to be sent.");
    const std::string fits = std::string(kMaxNestingDepth - 1, '[') + std::string(kMaxNestingDepth - 1, ']');
    EXPECT_EQ(Summary(Submit("application/json", fits)).substr(0, 13), R"({"payload":[[)");
}

TEST_F(EchoCalls, TheHostRecordsAndTracesEachCall) {
    // Raw named values go out as given, instead of the converted ones.
    Host::FunctionCall raw = Echo("/echo/v1/items/8");
    raw.values = {{std::string("count"), Json("3")}};
    HostNamedValue count{};
    count.name = "count";
    count.value.kind = kFlatUnsigned;
    count.value.payload.u = 5;
    raw.flatValues = std::vector<HostNamedValue>{count};
    EXPECT_EQ(Summary(raw), R"({"count":5,"filter":null,"id":"8","trace":"","verbose":false})");
    raw.flatValues.emplace();
    EXPECT_EQ(Summary(raw), R"({"count":0,"filter":null,"id":"8","trace":"","verbose":false})")
        << "none at all when the raw list is empty";
    host_.ClearRecords();
    Host::FunctionCall call = Echo("/echo/v1/items/7?verbose", {{"trace", "t"}});
    call.values = {{std::string("count"), Json("3")}};
    host_.CallFunction(call);
    host_.CallFunction(Echo("/nowhere"));
    Host::FunctionCall missing;
    missing.function = "Missing";
    const Host::CallResult absent = host_.CallFunction(missing);
    EXPECT_FALSE(absent.called);
    EXPECT_EQ(absent.error, "the API table has no function 'Missing'");

    ASSERT_EQ(host_.Calls().size(), 3u);
    EXPECT_EQ(host_.Calls()[0].call.path, "/echo/v1/items/7?verbose");
    EXPECT_EQ(host_.Calls()[1].result.status, 404u);
    ASSERT_EQ(host_.Trace().size(), 3u);
    EXPECT_EQ(host_.Trace()[0],
              "[    0.000s] call Echo GET /echo/v1/items/7?verbose headers=[trace: t] values=[count=3] -> "
              R"({"count":3,"filter":null,"id":"7","trace":"t","verbose":true})");
    EXPECT_EQ(host_.Trace()[1], "[    0.000s] call Echo GET /nowhere -> 404 Invalid function");
    EXPECT_EQ(host_.Trace()[2], "[    0.000s] call Missing ANY  -> not called: the API table has no function 'Missing'");
}

TEST_F(EchoCalls, FunctionsCanBeCalledFromLoadUntilStop) {
    host_.Stop();
    Host::FunctionCall ping;
    ping.function = "Ping";
    ping.path = "Ping";
    const Host::CallResult stopped = host_.CallFunction(ping);
    EXPECT_FALSE(stopped.called) << "the stopped plug-in's table is gone with it";
    EXPECT_EQ(stopped.error, "the plug-in was stopped");
    std::string error;
    ASSERT_TRUE(host_.Load(VORN_ECHO_PLUGIN_PATH, &error)) << error;
    EXPECT_EQ(Summary(ping), "{}") << "loaded, not started";
    EXPECT_TRUE(host_.Start());  // only stop frees the plug-in object
}

}  // namespace
}  // namespace Vorn::Testing

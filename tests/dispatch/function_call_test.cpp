// Exposing functions and the call entry, from inside the runtime: what the
// echo plug-in cannot show (registration failures, parameter types beyond
// its own, completions that set status, text, headers and streams, the call
// context, exceptions, decoding by content type) and the function entries of
// the API table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "binding/binding_descriptor.h"
#include "binding/binding_limits.h"
#include "binding/flat_value.h"
#include "boundary_field.h"
#include "dispatch/api_table.h"
#include "dispatch/expose_function.h"
#include "dispatch/function_call.h"
#include "formats/json_reader.h"
#include "formats/json_writer.h"
#include "platform/clock.h"
#include "recording_log_target.h"
#include "support/memory_hooks.h"

namespace Vorn {
namespace {

enum class Shade : int32_t { Light = 1, Dark = 2 };
struct Point {
    int32_t x = 0;
    int32_t y = 0;
};
struct Unlisted {
    int32_t n = 0;
};
struct Shapes {
    std::vector<std::string> list;
    Point point;
    std::map<std::string, int32_t> m;
    bool flag = false;
    Shade shade = Shade::Light;
};

}  // namespace

template <>
struct BindingDescriptor<Shade> {
    static constexpr const char* kName = "Shade";
    static constexpr BindingEnumeratorSpec kEnumerators[] = {{"Light", 1}, {"Dark", 2}};
};
template <>
struct BindingDescriptor<Point> {
    static constexpr const char* kName = "Point";
    static constexpr auto kFields = std::make_tuple(BindingField("x", &Point::x), BindingField("y", &Point::y));
};
template <>
struct BindingDescriptor<Unlisted> {
    static constexpr const char* kName = "Unlisted";
    static constexpr auto kFields = std::make_tuple(BindingField("n", &Unlisted::n));
};
template <>
struct BindingDescriptor<Shapes> {
    static constexpr const char* kName = "Shapes";
    static constexpr auto kFields =
        std::make_tuple(BindingField("list", &Shapes::list), BindingField("point", &Shapes::point),
                        BindingField("m", &Shapes::m), BindingField("flag", &Shapes::flag),
                        BindingField("shade", &Shapes::shade));
};

namespace {

using Testing::Field;

// A response as the host reads it, released through its own function when
// the holder goes. It starts as a pattern, as a record the host never filled
// would: the call clears it and frees nothing of it.
struct Response {
    HostResponse record;
    Response() { std::memset(static_cast<void*>(&record), 0xCD, sizeof(record)); }
    ~Response() {
        if (HostResponseRelease release = record.release; release != nullptr) release(&record);
    }
    std::string Error() const { return record.error != nullptr ? record.error : ""; }
    uint32_t Status() const { return record.status; }
    bool Failed() const { return record.failed != 0; }
    std::string Value() const {
        BindingProperty value;
        BindingFlatResult conversion{};
        EXPECT_TRUE(ValueFromFlat(record.body, "result", value, &conversion));
        ReleaseFlatResult(&conversion);
        return SerializeJson(value, nullptr);
    }
    // The result, or the status and message of a failure.
    std::string Summary() const { return Failed() ? std::to_string(Status()) + " " + Error() : Value(); }
};

struct Request {
    uint32_t method = kHostMethodGet;
    std::string path{};
    std::vector<std::pair<std::string, std::string>> headers{};
    std::string customMethod{};
    uintptr_t word = 0;
};

class ExposedFunctions : public ::testing::Test {
protected:
    void SetUp() override {
        registry_.SetUp();
        RegisterBindingType<Shade>(registry_);
        RegisterBindingType<Point>(registry_);
        RegisterBindingType<Shapes>(registry_);
    }

    template <typename Function>
    void Expose(FunctionSpec spec, Function function) {
        std::string error;
        ASSERT_TRUE(ExposeFunction(functions_, registry_, std::move(spec), std::move(function), &error)) << error;
    }

    const ApiFunctionEntry* Entry(const char* name) {
        if (!storage_) storage_ = BuildApiTable(registry_, &functions_);
        const ApiTable* table = storage_->Table();
        for (uint32_t i = 0; i < table->functionCount; ++i) {
            if (std::strcmp(Field(table->functions[i].name), name) == 0) return &table->functions[i];
        }
        return nullptr;
    }

    // Calls the function through its API table entry.
    void Call(Response& response, const char* name, const Request& request) {
        const ApiFunctionEntry* entry = Entry(name);
        ASSERT_NE(entry, nullptr) << name;
        std::vector<HostHeader> headers;
        for (const auto& [headerName, value] : request.headers) headers.push_back({headerName.c_str(), value.c_str()});
        HostRequest record;
        std::memset(static_cast<void*>(&record), 0, sizeof(record));
        record.method = request.method;
        record.path = request.path.c_str();
        record.functionContext = Field(entry->context);
        // Counts beside absent arrays must not be read as arrays.
        record.headers = headers.empty() ? nullptr : headers.data();
        record.headerCount = headers.empty() ? 3 : static_cast<uint32_t>(headers.size());
        record.valueCount = 3;
        record.context = request.word;
        record.customMethod = request.customMethod.c_str();
        const ApiCallEntry call = Field(entry->call);
        call(&response.record, &record);
    }

    std::string Summary(const char* name, std::string path) {
        Response response;
        Call(response, name, Request{kHostMethodGet, std::move(path)});
        return response.Summary();
    }

    TypeRegistry registry_;
    FunctionTable functions_;
    std::unique_ptr<ApiTableStorage> storage_;
};

TEST_F(ExposedFunctions, RegistrationFailuresNameTheFunctionAndTheReason) {
    FunctionTable& table = functions_;
    const TypeRegistry& registry = registry_;
    ASSERT_TRUE(ExposeFunction(table, registry, {.name = "Taken"}, [] {}));
    const struct {
        const char* what;
        std::function<bool(std::string*)> expose;
        const char* message;
    } cases[] = {
        {"more specs than parameters",
         [&](std::string* e) { return ExposeFunction(table, registry, {.name = "F", .arguments = {{.name = "a"}}}, [] {}, e); },
         "Function 'F' was not exposed. It takes 0 arguments but 1 are described."},
        {"no name", [&](std::string* e) { return ExposeFunction(table, registry, {}, [] {}, e); },
         "Function '' was not exposed. A function needs a name."},
        {"a name taken", [&](std::string* e) { return ExposeFunction(table, registry, {.name = "Taken"}, [] {}, e); },
         "Function 'Taken' was not exposed. The name is taken."},
        {"a stray brace",
         [&](std::string* e) {
             return ExposeFunction(table, registry, {.name = "F", .pathTemplate = "/a}/{x}"}, [] {}, e);
         },
         "Function 'F' was not exposed. Path template '/a}/{x}' has a '}' outside a placeholder."},
        {"a '?' in the path template",
         [&](std::string* e) {
             return ExposeFunction(table, registry, {.name = "F", .pathTemplate = "/a?b={x}", .arguments = {{.name = "x"}}},
                                   [](int) {}, e);
         },
         "Function 'F' was not exposed. Path template '/a?b={x}' has a '?'; routes are matched on the path before it."},
        {"a placeholder that names no argument",
         [&](std::string* e) {
             return ExposeFunction(table, registry, {.name = "F", .pathTemplate = "/a/{y}", .arguments = {{.name = "x"}}},
                                   [](int) {}, e);
         },
         "Function 'F' was not exposed. Path template '/a/{y}' has the placeholder 'y', which names no argument."},
        {"a method code above 8",
         [&](std::string* e) { return ExposeFunction(table, registry, {.name = "F", .method = 9}, [] {}, e); },
         "Function 'F' was not exposed. Its method code 9 is none of 0 to 8."},
        {"a custom method text with another method code",
         [&](std::string* e) {
             return ExposeFunction(table, registry, {.name = "F", .method = kHostMethodPost, .customMethod = "PURGE"},
                                   [] {}, e);
         },
         "Function 'F' was not exposed. It has the custom method 'PURGE' but method code 6; a custom method needs 8."},
        {"an argument without a name",
         [&](std::string* e) { return ExposeFunction(table, registry, {.name = "F", .arguments = {{}}}, [](int) {}, e); },
         "Function 'F' was not exposed. An argument has no name."},
        {"two arguments of one name",
         [&](std::string* e) {
             return ExposeFunction(table, registry, {.name = "F", .arguments = {{.name = "a"}, {.name = "a"}}},
                                   [](int, int) {}, e);
         },
         "Function 'F' was not exposed. Two arguments are named 'a'."},
        {"an unregistered record argument",
         [&](std::string* e) {
             return ExposeFunction(table, registry, {.name = "F", .arguments = {{.name = "u"}}}, [](Unlisted) {}, e);
         },
         "Function 'F' was not exposed. The type of argument 'u' is not registered."},
        {"a list of unregistered records",
         [&](std::string* e) {
             return ExposeFunction(table, registry, {.name = "F", .arguments = {{.name = "u"}}},
                                   [](const std::vector<Unlisted>&) {}, e);
         },
         "Function 'F' was not exposed. The type of argument 'u' is not registered."},
        {"an unregistered result",
         [&](std::string* e) { return ExposeFunction(table, registry, {.name = "F"}, [] { return Unlisted{}; }, e); },
         "Function 'F' was not exposed. The type of its result is not registered."},
        {"no invoker",
         [&](std::string* e) {
             BindingFunctionDescription description;
             description.name = "F";
             return table.Add(std::move(description), e);
         },
         "Function 'F' was not exposed. It has no invoker."},
        {"locations that are not one per argument",
         [&](std::string* e) {
             BindingFunctionDescription description;
             description.name = "F";
             description.arguments.resize(1);
             description.arguments[0].name = "a";
             description.invoker = std::make_unique<NativeInvoker<void (*)(int), void, std::tuple<int>>>(
                 +[](int) {}, &registry, std::vector<std::string>{"a"}, std::vector<bool>{false});
             return table.Add(std::move(description), e);
         },
         "Function 'F' was not exposed. It has 1 arguments and 0 locations."},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(c.expose(&error)) << c.what;
        EXPECT_EQ(error, c.message) << c.what;
    }
    EXPECT_EQ(table.Size(), 1u) << "nothing refused was entered";
}

struct Counter {
    int calls = 0;
    int Add(int a, int b) {
        ++calls;
        return a + b;
    }
    std::string Name() const noexcept { return "counter"; }
};

int Twice(int n) { return 2 * n; }

TEST_F(ExposedFunctions, AnyCallableWithParametersOfAnyConvertedType) {
    Counter counter;
    Expose({.name = "Add", .arguments = {{.name = "a"}, {.name = "b"}}}, BindMethod(&counter, &Counter::Add));
    Expose({.name = "Name"}, BindMethod(&counter, &Counter::Name));
    Expose({.name = "Twice", .arguments = {{.name = "n"}}}, &Twice);
    int nothings = 0;
    Expose({.name = "Nothing"}, [&nothings] { ++nothings; });
    Expose({.name = "Shapes",
            .arguments = {{.name = "list", .optional = true},
                          {.name = "point", .optional = true},
                          {.name = "m", .optional = true},
                          {.name = "flag", .optional = true},
                          {.name = "shade", .optional = true}}},
           [](std::vector<std::string> list, Point point, std::map<std::string, int32_t> m, bool flag, Shade shade) {
               return Shapes{std::move(list), point, std::move(m), flag, shade};
           });

    EXPECT_EQ(Summary("Add", "Add?a=2&b=0x10"), "18");
    EXPECT_EQ(counter.calls, 1);
    CallOutcome mismatched;
    EXPECT_EQ(functions_.Find("Add")->description.invoker->Invoke(mismatched, {}, 0), 0u);
    EXPECT_EQ(mismatched.result.Message(), "The call has the wrong number of arguments.") << "no argument read past the list";
    EXPECT_EQ(Summary("Name", "Name"), R"("counter")");
    EXPECT_EQ(Summary("Twice", "Twice?n=-4"), "-8");
    EXPECT_EQ(Summary("Nothing", "Nothing"), "") << "a void result is an empty value";
    EXPECT_EQ(nothings, 1);
    EXPECT_EQ(Summary("Add", "Add?a=1"), "0 A value for 'b' is required.") << "a required argument that nobody gave";
    EXPECT_EQ(counter.calls, 1) << "a function whose arguments do not convert is not called";

    // An optional enum that nobody gave is 0, its type's default, whether or
    // not an enumerator has that number; enums go out by name.
    const char* defaults = R"({"flag":false,"list":[],"m":{},"point":{"x":0,"y":0},"shade":0})";
    const struct {
        const char* query;
        const char* outcome;
    } cases[] = {
        {"", defaults},
        {"?list=", defaults},
        {"?point=", defaults},
        {"?list.1=b&list.0=a", R"({"flag":false,"list":["a","b"],"m":{},"point":{"x":0,"y":0},"shade":0})"},
        {"?list=[\"a\"]", R"({"flag":false,"list":["a"],"m":{},"point":{"x":0,"y":0},"shade":0})"},
        {"?point={\"x\":3}", R"({"flag":false,"list":[],"m":{},"point":{"x":3,"y":0},"shade":0})"},
        {"?point.y=5", R"({"flag":false,"list":[],"m":{},"point":{"x":0,"y":5},"shade":0})"},
        {"?m.k=3", R"({"flag":false,"list":[],"m":{"k":3},"point":{"x":0,"y":0},"shade":0})"},
        {"?flag&shade=Dark", R"({"flag":true,"list":[],"m":{},"point":{"x":0,"y":0},"shade":"Dark"})"},
        {"?shade=1", R"({"flag":false,"list":[],"m":{},"point":{"x":0,"y":0},"shade":"Light"})"},
        {"?m={\"k\":3}", "0 Couldn't assign value to 'm' of type map because the input not a structure."},
        {"?shade=Dim", "0 Dim is not a valid Shade enumeration value for 'shade'."},
        {"?point=[1]", "0 Couldn't assign value to 'point' of type Point because the input not a structure."},
    };
    for (const auto& c : cases) EXPECT_EQ(Summary("Shapes", std::string("Shapes") + c.query), c.outcome) << c.query;
}

TEST_F(ExposedFunctions, LaterSourcesWinAndHeadersReachByTheLowerCaseName) {
    Expose({.name = "Sources",
            .pathTemplate = "/s/{a}",
            .arguments = {{.name = "traceId", .location = ArgumentLocation::Header, .optional = true},
                          {.name = "a"},
                          {.name = "n", .location = ArgumentLocation::Query, .optional = true}}},
           [](std::string traceId, std::string a, std::string n) { return a + "|" + traceId + "|" + n; });
    const struct {
        const char* path;
        std::vector<std::pair<std::string, std::string>> headers;
        const char* outcome;
    } cases[] = {
        {"/s/p", {{"a", "h"}}, R"("p||")"},        // the path over a header
        {"/s/p?a=q", {{"a", "h"}}, R"("q||")"},    // the query over the path
        {"/s/p", {{"traceid", "t"}}, R"("p|t|")"},
        {"/s/p", {{"traceId", "t"}}, R"("p||")"},  // header names compare as sent
        {"/s/p", {{"n", "5"}}, R"("p||")"},        // a query argument takes no header
        {"/s/p?n=5", {}, R"("p||5")"},
    };
    for (const auto& c : cases) {
        Response response;
        Call(response, "Sources", Request{kHostMethodGet, c.path, c.headers});
        EXPECT_EQ(response.Summary(), c.outcome) << c.path << " " << (c.headers.empty() ? "" : c.headers[0].first);
    }
}

// A completion scripted by the test; it records what it was given.
class ScriptedInvoker : public FunctionInvoker {
public:
    struct Log {
        int invokes = 0;
        int completes = 0;
        int releases = 0;
        bool hadContext = false;
        CallContext context;
        uintptr_t invokeWord = 0;
        const char* invokeFailure = nullptr;  // set by the test: Invoke fails with it
    };

    ScriptedInvoker(uint32_t resultType, std::function<void(CallOutcome&)> complete, Log* log)
        : resultType_(resultType), complete_(std::move(complete)), log_(log) {}

    uintptr_t Invoke(CallOutcome& outcome, std::span<const BindingProperty>, uintptr_t word) override {
        ++log_->invokes;
        log_->invokeWord = word;
        if (log_->invokeFailure != nullptr) outcome.Fail(log_->invokeFailure);
        return 42;
    }
    void Complete(CallOutcome& outcome, const CallContext* context, uintptr_t handle, uintptr_t) override {
        ++log_->completes;
        EXPECT_EQ(handle, 42u);
        log_->hadContext = context != nullptr;
        if (context != nullptr) log_->context = *context;
        complete_(outcome);
    }
    void Release(uintptr_t handle) override {
        EXPECT_EQ(handle, 42u);
        ++log_->releases;
    }
    uint32_t ResultType() const override { return resultType_; }

private:
    uint32_t resultType_;
    std::function<void(CallOutcome&)> complete_;
    Log* log_;
};

// Bytes handed out in pieces of at most four.
class TextStream : public ResponseStream {
public:
    TextStream(std::string text, bool* destroyed) : text_(std::move(text)), destroyed_(destroyed) {}
    ~TextStream() override { *destroyed_ = true; }
    bool Read(void* buffer, uint32_t* length, bool* more) override {
        const std::size_t n = std::min<std::size_t>({*length, 4, text_.size() - offset_});
        std::memcpy(buffer, text_.data() + offset_, n);
        offset_ += n;
        *length = static_cast<uint32_t>(n);
        *more = offset_ < text_.size();
        return true;
    }
    uint32_t Size() const override { return static_cast<uint32_t>(text_.size()); }

private:
    std::string text_;
    std::size_t offset_ = 0;
    bool* destroyed_;
};

class Completions : public ExposedFunctions {
protected:
    void Script(const char* name, uint32_t resultType, std::function<void(CallOutcome&)> complete,
                ScriptedInvoker::Log* log) {
        BindingFunctionDescription description;
        description.name = name;
        description.arguments.resize(1);
        description.arguments[0].name = "q";
        description.locations = {ArgumentLocation::Any};
        description.invoker = std::make_unique<ScriptedInvoker>(resultType, std::move(complete), log);
        std::string error;
        ASSERT_TRUE(functions_.Add(std::move(description), &error)) << error;
        storage_.reset();  // the next call builds a table that has it
    }
};

TEST_F(Completions, TheResponseCarriesWhatTheCompletionSet) {
    ScriptedInvoker::Log log;
    bool fail = false;
    Script("Full", 0, [&fail](CallOutcome& outcome) {
        outcome.result.value.SetString("body");
        outcome.flag = 7;
        outcome.resultForm = 2;
        outcome.status = 201;
        outcome.text = "created";
        outcome.headers = {{"location", "/x/1"}, {"etag", "\"a\""}};
        if (fail) outcome.Fail("refused");
    }, &log);
    // A failure keeps all but the result.
    for (const bool failing : {false, true}) {
        fail = failing;
        log = {};
        Response response;
        Call(response, "Full", Request{kHostMethodGet, "Full", {}, {}, 0x77});
        EXPECT_EQ(response.Summary(), failing ? "201 refused" : R"("body")");
        EXPECT_EQ(Field(response.record.flag), 7u) << failing;
        EXPECT_EQ(Field(response.record.resultForm), 2u) << failing;
        EXPECT_EQ(Field(response.record.status), 201u) << failing;
        EXPECT_STREQ(Field(response.record.text), "created") << failing;
        ASSERT_EQ(Field(response.record.headerCount), 2u) << failing;
        const HostHeader* headers = Field(response.record.headers);
        EXPECT_STREQ(headers[0].name, "location");
        EXPECT_STREQ(headers[1].value, "\"a\"");
        EXPECT_EQ(Field(response.record.streamRead), nullptr);
        EXPECT_EQ(log.invokes, 1);
        EXPECT_EQ(log.invokeWord, 0x77u) << "the request word reaches the invoker";
        EXPECT_EQ(log.releases, 1) << "the call handle is released once the response is filled";

        // Released, the record is all zeros and owns nothing more.
        HostResponseRelease release = response.record.release;
        release(&response.record);
        const auto* bytes = reinterpret_cast<const unsigned char*>(&response.record);
        EXPECT_TRUE(std::all_of(bytes, bytes + sizeof(HostResponse), [](unsigned char b) { return b == 0; }));
    }
}

// Nothing is invoked once an argument failed; a handle is released even
// when the invocation that made it failed.
TEST_F(Completions, ArgumentFailuresStopTheCallAndHandlesAreReleased) {
    ScriptedInvoker::Log log;
    Script("F", 0, [](CallOutcome&) {}, &log);
    const struct {
        const char* path;
        const char* invokeFailure;
        const char* outcome;
        int invokes;
        int completes;
        int releases;
    } cases[] = {
        {"F?q=1", nullptr, "", 1, 1, 1},
        {"F?bogus=1", nullptr, "0 Unknown argument 'bogus' for 'F'.", 0, 0, 0},
        {"F?q=", nullptr, "0 Expected value for argument 'q'.", 0, 0, 0},
        {"F", "refused", "0 refused", 1, 0, 1},
    };
    for (const auto& c : cases) {
        log = {};
        log.invokeFailure = c.invokeFailure;
        Response response;
        Call(response, "F", Request{kHostMethodGet, c.path});
        EXPECT_EQ(response.Summary(), c.outcome) << c.path;
        EXPECT_EQ(log.invokes, c.invokes) << c.path;
        EXPECT_EQ(log.completes, c.completes) << c.path;
        EXPECT_EQ(log.releases, c.releases) << c.path;
    }
}

TEST_F(Completions, ResultFormsOutsideOneToThreeAndEmptyTexts) {
    ScriptedInvoker::Log log;
    uint32_t form = 0;
    Script("Form", 0, [&form](CallOutcome& outcome) { outcome.resultForm = form; }, &log);
    for (uint32_t given : {0u, 1u, 3u, 4u, 0xFFFFFFFFu}) {
        form = given;
        Response response;
        Call(response, "Form", Request{kHostMethodGet, "Form"});
        EXPECT_EQ(Field(response.record.resultForm), given >= 1 && given <= 3 ? given : 0u) << given;
        ASSERT_NE(Field(response.record.text), nullptr) << "an empty text is still a text";
        EXPECT_STREQ(Field(response.record.text), "");
        EXPECT_EQ(Field(response.record.headers), nullptr);
    }
}

TEST_F(Completions, StreamsAreHandedOverAndFailuresDropThem) {
    ScriptedInvoker::Log log;
    bool destroyed = false;
    bool fail = false;
    bool deep = false;
    Script("Stream", 0, [&](CallOutcome& outcome) {
        outcome.stream = std::make_unique<TextStream>("0123456789", &destroyed);
        if (fail) outcome.Fail("no stream for you");
        BindingProperty* value = &outcome.result.value;
        for (std::size_t i = 0; deep && i <= kMaxNestingDepth; ++i) value = &value->AppendElement();
    }, &log);
    {
        Response response;
        Call(response, "Stream", Request{kHostMethodGet, "Stream"});
        ASSERT_FALSE(response.Failed()) << response.Error();
        EXPECT_FALSE(destroyed) << "the host owns the stream now";
        EXPECT_EQ(Field(response.record.streamSize), 10u);
        EXPECT_EQ(Field(response.record.reserved), 0u);
        HostStreamRead read = response.record.streamRead;
        void* stream = response.record.stream;
        ASSERT_NE(read, nullptr);
        std::string text;
        bool more = true;
        while (more) {
            char buffer[16];
            uint32_t length = sizeof(buffer);
            ASSERT_TRUE(read(stream, buffer, &length, &more));
            text.append(buffer, length);
        }
        EXPECT_EQ(text, "0123456789");
        uint32_t length = 4;
        EXPECT_FALSE(read(nullptr, text.data(), &length, &more)) << "no stream, nothing read";
        HostStreamRelease release = response.record.streamRelease;
        release(stream);
        EXPECT_TRUE(destroyed);
    }
    // Neither a failure nor a result that cannot be sent carries the stream.
    const struct {
        bool fail;
        bool deep;
        const char* outcome;
    } failures[] = {
        {true, false, "0 no stream for you"},
        {false, true, "400 The result of 'Stream' is nested too deeply to be sent."},
    };
    for (const auto& f : failures) {
        destroyed = false;
        fail = f.fail;
        deep = f.deep;
        Response failed;
        Call(failed, "Stream", Request{kHostMethodGet, "Stream"});
        EXPECT_EQ(failed.Summary(), f.outcome);
        EXPECT_EQ(Field(failed.record.streamRead), nullptr) << f.outcome;
        EXPECT_EQ(Field(failed.record.stream), nullptr) << f.outcome;
        EXPECT_TRUE(destroyed) << f.outcome << ": the stream is released";
    }
}

// The counting heap, failing once the one allocation of an armed size.
struct FailingHeap {
    static inline std::size_t failSize = 0;
    static inline bool failTexts = false;  // copies of the text "value" fail
    static void* Allocate(std::size_t bytes, MemoryCounters* counters) {
        if (bytes == failSize) {
            failSize = 0;
            return nullptr;
        }
        return CountingMemoryHooks().allocate(bytes, counters);
    }
    static char* DuplicateText(const char* text, MemoryCounters* counters) {
        return failTexts && std::strcmp(text, "value") == 0 ? nullptr : CountingMemoryHooks().duplicateText(text, counters);
    }
};

// What a response owns, its release frees, also after memory ran out while
// the response was filled: that failure is all the host then gets.
TEST_F(Completions, ResponsesReleaseAllTheyOwnAlsoWhenMemoryRunsOut) {
    ScriptedInvoker::Log log;
    bool fail = false;
    Script("Owned", 0, [&fail](CallOutcome& outcome) {
        outcome.result.value.Member("a").SetString("body");
        outcome.text = "created";
        outcome.headers.assign(37, {"name", "value"});
        if (fail) outcome.Fail("refused");
    }, &log);
    Response warm;  // builds the table
    Call(warm, "Owned", Request{kHostMethodGet, "Owned"});
    MemoryHooks hooks = CountingMemoryHooks();
    hooks.allocate = &FailingHeap::Allocate;
    hooks.duplicateText = &FailingHeap::DuplicateText;
    MemoryCounters counters;
    InstallMemoryHooks(hooks, &counters);
    // Exhausted: the header block, or (texts) the copies of the header
    // values: a header is never handed out null.
    const struct {
        bool fail;
        bool exhausted;
        bool texts;
        const char* outcome;
    } cases[] = {
        {false, false, false, R"({"a":"body"})"},
        {true, false, false, "0 refused"},
        {false, true, false, "500 Function call failed"},
        {false, true, true, "500 Function call failed"},
    };
    for (const auto& c : cases) {
        fail = c.fail;
        FailingHeap::failSize = c.exhausted && !c.texts ? 37 * sizeof(HostHeader) : 0;
        FailingHeap::failTexts = c.texts;
        const uint64_t allocated = counters.bytesAllocated.load();
        const uint64_t freed = counters.bytesFreed.load();
        {
            Response response;
            Call(response, "Owned", Request{kHostMethodGet, "Owned"});
            EXPECT_EQ(response.Summary(), c.outcome);
            EXPECT_EQ(Field(response.record.headerCount), c.exhausted ? 0u : 37u) << c.outcome;
            EXPECT_EQ(Field(response.record.text) == nullptr, c.exhausted) << c.outcome;
        }
        FailingHeap::failTexts = false;
        EXPECT_EQ(counters.bytesAllocated.load() - allocated, counters.bytesFreed.load() - freed) << c.outcome;
    }
    // A record the host passes again without releasing it loses nothing:
    // what the first call put in it is released before the second fills it.
    fail = false;
    const uint64_t allocated = counters.bytesAllocated.load();
    const uint64_t freed = counters.bytesFreed.load();
    {
        Response response;
        Call(response, "Owned", Request{kHostMethodGet, "Owned"});
        Call(response, "Owned", Request{kHostMethodGet, "Owned"});
        EXPECT_EQ(response.Summary(), R"({"a":"body"})");
    }
    EXPECT_EQ(counters.bytesAllocated.load() - allocated, counters.bytesFreed.load() - freed) << "a reused record";
    InstallMemoryHooks(CountingMemoryHooks(), &ModuleMemoryCounters());
}

TEST_F(Completions, OnlyTwoResultTypesGetTheCallContext) {
    const struct {
        uint32_t resultType;
        bool context;
    } cases[] = {{0x466F9860, true}, {0x89462EBF, true}, {0, false}, {TypeIdOf<Point>().value, false}, {0x466F9861, false}};
    for (const auto& c : cases) {
        ScriptedInvoker::Log log;
        const std::string name = "F" + std::to_string(c.resultType);
        Script(name.c_str(), c.resultType, [](CallOutcome&) {}, &log);
        Request request{kHostMethodCustom, name + "?q=1", {{"a", "1"}, {"B", "2"}, {"a", "3"}}, "PURGE", 0x1234};
        const uint64_t before = Platform::SystemTimeTicks();
        Response response;
        Call(response, name.c_str(), request);
        const uint64_t after = Platform::SystemTimeTicks();
        ASSERT_EQ(log.completes, 1) << name << ": " << response.Error();
        EXPECT_EQ(log.hadContext, c.context) << std::hex << c.resultType;
        if (!c.context) continue;
        const CallContext& context = log.context;
        EXPECT_EQ(context.requestWord, 0x1234u);
        EXPECT_EQ(context.registry, &registry_);
        EXPECT_GE(context.startTime, before);
        EXPECT_LE(context.startTime, after);
        EXPECT_EQ(context.path, name + "?q=1") << "the path as sent, query included";
        EXPECT_EQ(context.method, 8u);
        EXPECT_EQ(context.customMethod, "PURGE");
        EXPECT_EQ(context.headers, (std::unordered_map<std::string, std::string>{{"a", "3"}, {"B", "2"}}));
    }
    // The custom text is read for method 8 only; codes past 8 are 0.
    ScriptedInvoker::Log log;
    Script("Methods", kContextResultTypes[0], [](CallOutcome&) {}, &log);
    const struct {
        uint32_t method;
        uint32_t seen;
        const char* customMethod;
    } methods[] = {{8, 8, "PURGE"}, {2, 2, ""}, {0, 0, ""}, {9, 0, ""}, {0xFFFFFFFF, 0, ""}};
    for (const auto& m : methods) {
        Response response;
        Call(response, "Methods", Request{m.method, "Methods", {}, "PURGE"});
        ASSERT_TRUE(log.hadContext) << m.method << ": " << response.Error();
        EXPECT_EQ(log.context.method, m.seen) << m.method;
        EXPECT_EQ(log.context.customMethod, m.customMethod) << m.method;
        log = {};
    }
}

TEST_F(ExposedFunctions, AFunctionThatThrowsAnswersWithAFailure) {
    Testing::RecordingLogTarget target;
    LogTargetConfig config;
    config.format = "#M";
    target.Configure(config);
    Expose({.name = "Throw"}, []() -> int { throw std::runtime_error("boom"); });
    Expose({.name = "ThrowInt"}, []() -> int { throw 7; });
    for (const char* name : {"Throw", "ThrowInt"}) {
        Response response;
        Call(response, name, Request{kHostMethodGet, name});
        EXPECT_EQ(response.Summary(), "500 Function call failed") << name;
    }
    EXPECT_EQ(target.Lines(), (std::vector<std::string>{"Exposed function call failed: boom\n",
                                                        "Exposed function call failed: unknown exception\n"}));
}

TEST_F(ExposedFunctions, CallsWithoutAFunctionAreInvalid) {
    Expose({.name = "F"}, [] { return 1; });
    const ApiFunctionEntry* entry = Entry("F");
    const ApiCallEntry call = Field(entry->call);
    EXPECT_EQ(call, &CallExposedFunction);
    call(nullptr, nullptr);  // nowhere to answer: nothing happens

    Response noRequest;
    call(&noRequest.record, nullptr);
    EXPECT_EQ(noRequest.Summary(), "404 Invalid function");

    HostRequest request;
    std::memset(static_cast<void*>(&request), 0, sizeof(request));
    request.path = "F";
    Response noContext;
    call(&noContext.record, &request);
    EXPECT_EQ(noContext.Summary(), "404 Invalid function");

    FunctionCallContext empty{&registry_, nullptr};
    request.functionContext = &empty;
    Response noFunction;
    call(&noFunction.record, &request);
    EXPECT_EQ(noFunction.Summary(), "404 Invalid function");
}

TEST_F(ExposedFunctions, TheApiTableKeepsItsFunctionsWhenTheTableIsCleared) {
    Expose({.name = "F"}, [] { return 5; });
    ASSERT_NE(Entry("F"), nullptr);
    functions_.Clear();
    EXPECT_EQ(Summary("F", "F"), "5");
}

class ParameterValues : public ::testing::Test {
protected:
    ParameterValues() {
        function_.name = "F";
        function_.arguments.resize(1);
        function_.arguments[0].name = "p";
        function_.locations = {ArgumentLocation::Any};
    }

    // The decoded value as JSON, or the failure.
    std::string Decode(std::string_view contentType, std::string_view value, bool structured) {
        FunctionCall call(function_, nullptr);
        BindingProperty target;
        call.DecodeParameterValue(target, "p", value, contentType, structured);
        if (!call.Outcome().Ok()) return std::string(call.Outcome().result.Message());
        return SerializeJson(target, nullptr);
    }

    BindingFunctionDescription function_;
};

TEST_F(ParameterValues, ByContentTypeOrByWhatAStructuredValueLooksLike) {
    const std::string pack = "\x81\xA1" "a\x01";
    const struct {
        const char* contentType;
        std::string value;
        bool structured;
        const char* result;
    } cases[] = {
        {"application/x-msgpack", pack, false, R"({"a":1})"},
        {"application/x-msgpack-ext", pack, false, R"({"a":1})"},
        {"APPLICATION/JSON", "[1]", false, "[1]"},
        {"text/x-yaml", "a: 1", false, R"({"a":1})"},
        {"application/octet-stream", "ab", false, R"("YWI=")"},
        {"text/plain", "{}", true, R"("{}")"},
        {"", "{\"a\":1}", true, R"({"a":1})"},
        {"", "{\"a\":1}", false, R"("{\"a\":1}")"},
        {"", "   [1]", true, "[1]"},
        {"", "\t[1]", true, R"("\t[1]")"},  // only spaces lead
        {"", "---\na: 1", true, R"({"a":1})"},
        {"", "  ---\na: 1", true,
         "Couldn't deserialize YAML value for parameter 'p' of 'F': YAML parser error: mapping values are not allowed "
         "in this context. At line: 1 col: 1"},
        {"", "--", true, R"("--")"},
        {"", "\x91\x01", true, "[1]"},
        {"", std::string("\xDC\x00\x01\x05", 4), true, "[5]"},
        {"", "\xA1" "a", true, "\"\xA1" "a\""},  // a MessagePack string, not a map or an array: text
        {"", "{", true, "Couldn't deserialize JSON value for parameter 'p' of 'F': Error: Missing a name for object member. at offset 1."},
        {"", "\x91\xC1", true,
         "Couldn't deserialize MessagePack value for parameter 'p' of 'F': Invalid MessagePack data at position 2."},
    };
    for (const auto& c : cases) EXPECT_EQ(Decode(c.contentType, c.value, c.structured), c.result) << c.contentType << " " << c.value;
}

}  // namespace
}  // namespace Vorn

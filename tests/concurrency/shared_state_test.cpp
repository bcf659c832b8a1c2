// What the runtime shares between threads, used from several at once: the
// logger and its targets, the page pool under value trees, the type
// registry, conversions, and a function the echo plug-in exposes as
// thread-safe, called through its API table as a host calls it. Run under
// the thread sanitizer (the tsan build), any race is reported; elsewhere it
// checks that every thread saw what a lone thread would.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "binding/binding_descriptor.h"
#include "binding/flat_value.h"
#include "binding/type_registry.h"
#include "formats/json_reader.h"
#include "formats/json_writer.h"
#include "host/simulated_host.h"
#include "logging/logger.h"
#include "platform/debugger_output.h"

namespace Vorn::Concurrency {

struct Reading {
    int64_t id = 0;
    std::string name;
    std::vector<uint64_t> samples;
};

}  // namespace Vorn::Concurrency

namespace Vorn {

template <>
struct BindingDescriptor<Concurrency::Reading> {
    static constexpr const char* kName = "Reading";
    static constexpr auto kFields = std::make_tuple(BindingField("id", &Concurrency::Reading::id),
                                                    BindingField("name", &Concurrency::Reading::name),
                                                    BindingField("samples", &Concurrency::Reading::samples));
};

namespace Concurrency {
namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 150;

class CountingTarget : public LogTarget {
public:
    const char* Name() const override { return "CountingTarget"; }
    bool Write(const LogMessage&) override {
        lines.fetch_add(1);
        return true;
    }
    std::atomic<int> lines{0};
};

// Runs body(thread, round) on kThreads threads at once, each for kRounds.
template <typename Body>
void OnThreads(Body body) {
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&go, &body, t] {
            while (!go.load()) std::this_thread::yield();
            for (int round = 0; round < kRounds; ++round) body(t, round);
        });
    }
    go.store(true);
    for (std::thread& thread : threads) thread.join();
}

TEST(SharedState, LoggingTreesTypesAndConversionsFromManyThreads) {
    Logger::AddReference();
    std::FILE* err = std::tmpfile();
    std::FILE* out = std::tmpfile();
    Logger& logger = Logger::Instance();
    logger.StdErrTarget().SetStream(err);
    logger.StdOutTarget().SetStream(out);
    std::atomic<int> debuggerLines{0};
    Platform::SetDebuggerSink([](const char*, void* count) { static_cast<std::atomic<int>*>(count)->fetch_add(1); },
                              &debuggerLines);
    CountingTarget counting;
    logger.Attach(&logger.StdErrTarget());
    logger.Attach(&logger.StdOutTarget());
    logger.Attach(&logger.DebuggerTarget());
    logger.Attach(&counting);

    TypeRegistry registry;
    registry.SetUp();
    ASSERT_NE(RegisterBindingType<Reading>(registry), nullptr);
    std::atomic<int> wrong{0};

    OnThreads([&](int thread, int round) {
        Log(kLogWarn, 0, 0, "thread %d round %d", thread, round);

        // A tree over the shared page pool, copied, written and dropped.
        BindingResult parsed = DeserializeJson(R"({"id":7,"name":"n","samples":[1,2,3],"extra":{"deep":[[1],[2]]}})");
        BindingProperty copy = parsed.value;
        if (!parsed.ok || SerializeJson(copy, nullptr).size() < 40) wrong.fetch_add(1);

        // Types: each thread adds events of its own and looks up the shared type.
        registry.RegisterEvent("Event" + std::to_string(thread) + "_" + std::to_string(round), nullptr, "", {});
        if (registry.FindByName("Reading") == nullptr) wrong.fetch_add(1);

        // Conversions both ways through the registry.
        Reading reading;
        BindingResult back;
        ValueToNative(back, reading, parsed.value, "reading", &registry);
        BindingResult value;
        NativeToValue(value, reading, &registry);
        if (!back.ok || reading.samples.size() != 3 || value.value.GetMember("name").AsString() != "n") {
            wrong.fetch_add(1);
        }
    });

    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(counting.lines.load(), kThreads * kRounds);
    EXPECT_EQ(debuggerLines.load(), kThreads * kRounds);
    for (int t = 0; t < kThreads; ++t) EXPECT_NE(registry.FindEvent("Event" + std::to_string(t) + "_0"), nullptr);
    logger.Detach(&counting);
    Platform::SetDebuggerSink(nullptr, nullptr);
    Logger::ReleaseReference();
    std::fclose(err);
    std::fclose(out);
}

TEST(SharedState, ThreadSafeExposedFunctionCalledFromManyThreads) {
    Host::SimulatedHost host;
    std::string error;
    ASSERT_TRUE(host.Load(VORN_ECHO_PLUGIN_PATH, &error)) << error;
    ASSERT_TRUE(host.Start());
    const ApiTable* table = host.Record().apiTable;
    ASSERT_NE(table, nullptr);
    const ApiFunctionEntry* echo = nullptr;
    for (uint32_t i = 0; i < table->functionCount; ++i) {
        if (std::strcmp(table->functions[i].name, "Echo") == 0) echo = &table->functions[i];
    }
    ASSERT_NE(echo, nullptr);
    ASSERT_EQ(echo->threadSafe, 1u) << "only functions marked thread-safe are called from several threads";

    std::atomic<int> wrong{0};
    OnThreads([&](int thread, int round) {
        const std::string path = "/echo/v1/items/" + std::to_string(thread * 1000 + round) + "?count=" +
                                 std::to_string(round);
        const HostHeader header{"trace", "t"};
        HostRequest request;
        std::memset(static_cast<void*>(&request), 0, sizeof(request));
        request.method = kHostMethodGet;
        request.path = path.c_str();
        request.functionContext = echo->context;
        request.headers = &header;
        request.headerCount = 1;
        HostResponse response;
        echo->call(&response, &request);
        BindingProperty result;
        const BindingFlatValue body = response.body;
        const std::string expected = "{\"count\":" + std::to_string(round) + ",\"filter\":null,\"id\":\"" +
                                     std::to_string(thread * 1000 + round) + "\",\"trace\":\"t\",\"verbose\":false}";
        if (response.failed != 0 || !ValueFromFlat(body, "result", result, nullptr) ||
            SerializeJson(result, nullptr) != expected) {
            if (wrong.fetch_add(1) == 0) {
                ADD_FAILURE() << path << ": " << (response.error != nullptr ? response.error : "")
                              << SerializeJson(result, nullptr);
            }
        }
        response.release(&response);
    });
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace Concurrency
}  // namespace Vorn

// Loading, starting and stopping a plug-in as a host does, through its one
// export.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "boundary_field.h"

#if defined(_WIN32)
#include <windows.h>
#endif

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "platform/shared_library.h"
#include "plugin/plugin_loader.h"
#include "test_plugin_fixture.h"

namespace Vorn::Testing {
namespace {

const ApiTypeEntry* FindType(const ApiTable& table, const char* name) {
    for (uint32_t i = 0; i < table.typeCount; ++i) {
        if (std::strcmp(table.types[i].name, name) == 0) return &table.types[i];
    }
    return nullptr;
}

TEST(PluginLoading, FillsTheRecord) {
    Host::SimulatedHost host({18, 3, 1});
    std::string error;
    ASSERT_TRUE(host.Load(VORN_TEST_PLUGIN_PATH, &error)) << error;
    const PluginHostRecord& record = host.Record();
    EXPECT_EQ(Field(record.major), 18u);
    EXPECT_EQ(Field(record.minor), 0u) << "the plug-in's own version goes back";
    EXPECT_EQ(Field(record.patch), 0u);
    ASSERT_NE(Field(record.callbacks), nullptr);
    EXPECT_NE(Field(record.callbacks->start), nullptr);
    EXPECT_NE(Field(record.callbacks->stop), nullptr);
    EXPECT_NE(Field(record.callbacks->memoryStatistics), nullptr);
    EXPECT_NE(Field(record.plugin), nullptr);
    EXPECT_STREQ(Field(record.shortName), "vorn-test-plugin");
    ASSERT_NE(Field(record.apiTable), nullptr);

    const ApiTable& table = *record.apiTable;
    EXPECT_EQ(Field(table.functionCount), 0u);
    const ApiTypeEntry* lamp = FindType(table, "VornTestPluginLamp");
    ASSERT_NE(lamp, nullptr) << "the plug-in's own types carry its prefix";
    EXPECT_EQ(Field(lamp->count), 4u);
    EXPECT_STREQ(Field(lamp->members[2].describedType), "VornTestPluginLight");
    const ApiTypeEntry* resourceEvent = FindType(table, "PluginResourceEvent");
    ASSERT_NE(resourceEvent, nullptr);
    EXPECT_STREQ(Field(resourceEvent->members[1].name), "eventType");
    const ApiTypeEntry* logins = FindType(table, "PluginManagerState");
    ASSERT_NE(logins, nullptr);
    EXPECT_EQ(Field(logins->count), 2u);
    std::set<std::string> events;
    for (uint32_t i = 0; i < table.eventCount; ++i) {
        events.insert(table.events[i].name);
        if (std::strcmp(table.events[i].name, "OnJsonApiEvent") == 0) {
            EXPECT_STREQ(Field(table.events[i].nameSpace), "vclient");
            EXPECT_STREQ(Field(table.events[i].payloadType), "PluginResourceEvent");
        }
    }
    EXPECT_EQ(events, (std::set<std::string>{"OnCallback", "OnJsonApiEvent", "OnLcdsEvent",
                                             "OnServiceProxyAsyncEvent", "OnServiceProxyMethodEvent",
                                             "OnServiceProxyUuidEvent"}));
    EXPECT_TRUE(host.Start());  // only stop frees the plug-in object
    host.Update("/test/v1/command", Json(R"({"action":"describe"})"));
    ASSERT_FALSE(host.LogLines().empty());
    EXPECT_NE(host.LogLines().back().text.find(R"x("userAgent":"VornClient/18.3.1 (vorn-test-plugin)")x"),
              std::string::npos)
        << "the host's version, not the plug-in's";
}

TEST(PluginLoading, AcceptsNewerMinorAndPatch) {
    for (Host::HostVersion version : {Host::HostVersion{18, 0, 0}, {18, 0, 7}, {18, 3, 0}}) {
        Host::SimulatedHost host(version);
        std::string error;
        EXPECT_TRUE(host.Load(VORN_TEST_PLUGIN_PATH, &error)) << error;
        EXPECT_TRUE(host.Start());
    }
}

TEST(PluginLoadingDeathTest, IncompatibleHostEndsTheProcess) {
    // "fast" forks without executing the test program again, which 32-bit
    // test programs running under an emulator cannot do. (Windows has no
    // fork: there the program always runs again.)
    GTEST_FLAG_SET(death_test_style, "fast");
    for (Host::HostVersion version : {Host::HostVersion{19, 0, 0}, {17, 9, 9}}) {
        const std::string host = std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
                                 std::to_string(version.patch);
        EXPECT_DEATH(
            {
                Host::SimulatedHost simulated(version);
                std::string error;
                simulated.Load(VORN_TEST_PLUGIN_PATH, &error);
            },
            // Each part on its own: the regular expressions of GoogleTest on
            // Windows do not let '.' match the line breaks between them.
            ::testing::AllOf(::testing::HasSubstr("Assertion failed!"),
                             ::testing::HasSubstr("Expression: ALE-EECF0606"),
                             ::testing::HasSubstr("Description: vorn-test-plugin which supports plugin API 18.0.0 is "
                                                  "not compatible with core's plugin API " + host)));
    }
}

TEST(PluginLoading, NullRecordIsRefusedUnread) {
    Platform::SharedLibrary library;
    std::string error;
    ASSERT_TRUE(library.Open(VORN_TEST_PLUGIN_PATH, &error)) << error;
    auto load = reinterpret_cast<PluginLoadFunction>(library.Find("load_vorn_test_plugin"));
    ASSERT_NE(load, nullptr);
    EXPECT_FALSE(load(nullptr));

    // The loader itself refuses each missing part, and fills nothing.
    struct Quiet : PluginBase {};
    PluginHostRecord record{18, 0, 0, nullptr, nullptr, nullptr, nullptr};
    EXPECT_FALSE(LoadPlugin(nullptr, &record, "x"));
    EXPECT_FALSE(LoadPlugin(new Quiet(), nullptr, "x"));
    EXPECT_FALSE(LoadPlugin(new Quiet(), &record, nullptr));
    EXPECT_EQ(Field(record.callbacks), nullptr);
}

#if defined(_WIN32)
// A DLL's exports as the loader sees them: the export directory of the image
// in memory, every named export and how many addresses it holds (an export
// may also be reached by its ordinal alone).
struct ImageExports {
    std::set<std::string> names;
    DWORD functions = 0;
};

ImageExports ReadImageExports(HMODULE module) {
    ImageExports exports;
    const auto* base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (directory.VirtualAddress == 0 || directory.Size == 0) return exports;
    const auto* table = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* names = reinterpret_cast<const DWORD*>(base + table->AddressOfNames);
    for (DWORD i = 0; i < table->NumberOfNames; ++i) {
        exports.names.insert(reinterpret_cast<const char*>(base + names[i]));
    }
    exports.functions = table->NumberOfFunctions;
    return exports;
}

TEST(PluginLoading, ExportsExactlyTheEntry) {
    Platform::SharedLibrary library;
    std::string error;
    ASSERT_TRUE(library.Open(VORN_TEST_PLUGIN_PATH, &error)) << error;
    void* entry = library.Find("load_vorn_test_plugin");
    ASSERT_NE(entry, nullptr);
    HMODULE module = nullptr;
    ASSERT_NE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 static_cast<LPCSTR>(entry), &module),
              0);
    const ImageExports exports = ReadImageExports(module);
    EXPECT_EQ(exports.names, std::set<std::string>{"load_vorn_test_plugin"});
    EXPECT_EQ(exports.functions, 1u) << "no export by ordinal alone";
}
#else
TEST(PluginLoading, ExportsExactlyTheEntry) {
    const std::string command = "nm -D --defined-only '" + std::string(VORN_TEST_PLUGIN_PATH) + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> symbols;
    char line[512];
    while (std::fgets(line, sizeof(line), pipe) != nullptr) {
        char type = 0;
        char name[256] = {};
        if (std::sscanf(line, "%*s %c %255s", &type, name) == 2) symbols.insert(name);
    }
    ASSERT_EQ(pclose(pipe), 0) << command;
    EXPECT_EQ(symbols, std::set<std::string>{"load_vorn_test_plugin"});
}
#endif

TEST_F(TestPluginHost, StartSubscribesTheServiceProxyAndSetsTheRuntimeUp) {
    std::set<std::pair<std::string, uint32_t>> subscribed;
    for (const Host::RecordedSubscription& s : host_.Subscriptions()) {
        EXPECT_TRUE(s.subscribe);
        EXPECT_EQ(s.context, host_.Context());
        subscribed.emplace(s.eventName, s.kind);
    }
    EXPECT_EQ(subscribed, (std::set<std::pair<std::string, uint32_t>>{{"OnServiceProxyUuidEvent", 1},
                                                                     {"OnServiceProxyMethodEvent", 1},
                                                                     {"OnServiceProxyAsyncEvent", 1},
                                                                     {"OnJsonApiEvent_test_v1_command", 0}}));
    ASSERT_EQ(RequestsTo(host_, kHostMethodGet, "/test/v1/command").size(), 1u) << "the initial fetch";

    const BindingProperty described = RunOne(R"({"action":"describe","event":"OnJsonApiEvent_test_v1_command"})");
    EXPECT_EQ(Compact(described),
              R"({"count":1,"fullName":"dmk-be-vorn-test-plugin","log":{"slot8":"LOC","targets":["PluginLogTarget"]},)"
              R"("prefix":"VornTestPlugin",)"
              R"x("tags":["Plugins","Plugin vorn-test-plugin"],"userAgent":"VornClient/18.0.0 (vorn-test-plugin)"})x");
    // Log lines reach the host with their level, unformatted: from level 0,
    // in every group but "XTR" (whatever the plug-in had set at load).
    EXPECT_EQ(host_.LogLines().back().level, 3);
    for (const char* group : {"NET", "DBG", "XTR"}) {
        Run(std::string(R"({"action":"log","level":0,"text":"in )") + group + R"(","group":")" + group + R"("})");
    }
    EXPECT_EQ(LogLinesWith(host_, 0, "in ").size(), 2u);
    EXPECT_EQ(host_.LogLines().back().text, "in DBG");
}

TEST_F(TestPluginHost, ASecondStartKeepsTheFirstLogTarget) {
    // Both outlive the plug-in, which keeps the start record until stop.
    static const HostApi silent{};
    static const PluginStartRecord second{&silent, 77};
    ASSERT_TRUE(host_.Record().callbacks->start(host_.Record().plugin, &second));
    // The second host table has no functions; lines still reach the first.
    const std::size_t before = host_.LogLines().size();
    host_.Update("/test/v1/command", Json(R"({"action":"describe"})"));
    EXPECT_GT(host_.LogLines().size(), before);
}

TEST_F(TestPluginHost, StopUnsubscribesAndTheMemoryStatisticsAreSane) {
    PluginMemoryStatistics statistics = host_.MemoryStatistics();
    EXPECT_EQ(Field(statistics.reserved)[0], 0u);
    EXPECT_EQ(Field(statistics.reserved)[1], 0u);
    EXPECT_GT(Field(statistics.counters)[3], 0u) << "allocations";
    EXPECT_GE(Field(statistics.counters)[2], Field(statistics.counters)[4]) << "bytes allocated >= bytes freed";
    EXPECT_GE(Field(statistics.counters)[3], Field(statistics.counters)[5]) << "allocations >= frees";
    EXPECT_GE(Field(statistics.counters)[0], Field(statistics.counters)[2] - Field(statistics.counters)[4]) << "peak >= in use";

    host_.Stop();
    // The base Shutdown unsubscribes every subscription, the service proxy's
    // included.
    std::set<std::string> unsubscribed;
    for (const Host::RecordedSubscription& s : host_.Subscriptions()) {
        if (!s.subscribe) unsubscribed.insert(s.eventName);
    }
    EXPECT_EQ(unsubscribed, (std::set<std::string>{"OnJsonApiEvent_test_v1_command", "OnServiceProxyUuidEvent",
                                                   "OnServiceProxyMethodEvent", "OnServiceProxyAsyncEvent"}));
}

TEST_F(TestPluginHost, AnExceptionInAHandlerIsLoggedAndStaysInside) {
    EXPECT_TRUE(Run(R"({"action":"throw"})").empty());
    EXPECT_EQ(LogLinesWith(host_, 2, "Resource event function failed: command asked to throw").size(), 1u);
    EXPECT_EQ(Run(R"({"action":"describe"})").size(), 1u) << "the plug-in goes on working";

    // Every other entry the host calls.
    Run(R"({"action":"start-timer","name":"t","interval":1,"then":"throw"})");
    host_.Advance(1000000000u);
    EXPECT_EQ(LogLinesWith(host_, 2, "Delayed task failed: timer asked to throw").size(), 1u);
    Run(R"({"action":"proxy-handler","key":"s.m","throw":true})");
    BindingProperty async = Json(R"({"serviceName":"s","methodName":"m"})");
    EXPECT_EQ(host_.DeliverEvent("OnServiceProxyAsyncEvent", async), 1);
    EXPECT_EQ(LogLinesWith(host_, 2, "Service proxy event function failed: async handler asked to throw").size(), 1u);
    // A second load of the library shares this one's module: armed here, it
    // fails there, and its failure reaches this host's log.
    for (const std::string point : {"construct", "register"}) {
        Run(R"({"action":"arm","throwIn":")" + point + R"("})");
        Host::SimulatedHost second;
        std::string error;
        EXPECT_FALSE(second.Load(VORN_TEST_PLUGIN_PATH, &error)) << point;
        EXPECT_NE(error.find("did not load the plug-in"), std::string::npos) << "the export said false: " << error;
        EXPECT_EQ(LogLinesWith(host_, 2, " failed: armed to throw in " + point),
                  std::vector<std::string>{(point == "construct" ? "Plugin export" : "Plugin loader") +
                                           std::string(" failed: armed to throw in ") + point});
    }
    static const HostApi silent{};
    static const PluginStartRecord again{&silent, 0};
    Run(R"({"action":"arm","throwIn":"start"})");
    EXPECT_FALSE(host_.Record().callbacks->start(host_.Record().plugin, &again));
    EXPECT_EQ(LogLinesWith(host_, 2, "Plugin start callback failed: armed to throw in start").size(), 1u);
    Run(R"({"action":"arm","throwIn":"shutdown"})");
    host_.Stop();
    EXPECT_EQ(LogLinesWith(host_, 2, "Plugin stop callback failed: armed to throw in shutdown").size(), 1u)
        << "logged while the plug-in's log target is still there";
}

}  // namespace
}  // namespace Vorn::Testing

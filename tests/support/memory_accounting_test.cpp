#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "platform/process_info.h"
#include "platform/shared_library.h"
#include "support/memory_hooks.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
// A request no heap can meet comes back null, as from the C heap, instead of
// being reported as an error: the tests below make such requests. Visible,
// so that the sanitizer's runtime finds it.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
#endif

namespace Vorn {
namespace {

// Points the hooks at a fresh set of counters for one test.
class MemoryAccountingTest : public ::testing::Test {
protected:
    void SetUp() override { InstallMemoryHooks(CountingMemoryHooks(), &counters_); }
    void TearDown() override { InstallMemoryHooks(CountingMemoryHooks(), &ModuleMemoryCounters()); }

    MemoryStatisticsRecord Read() const {
        MemoryStatisticsRecord record;
        std::memset(&record, 0xCD, sizeof(record));
        ReadMemoryStatistics(counters_, &record);
        return record;
    }

    MemoryCounters counters_;
};

TEST_F(MemoryAccountingTest, OneBlockAllocatedAndFreed) {
    void* block = Allocate(16);
    ASSERT_NE(block, nullptr);
    const uint64_t usable = BlockSize(block);
    EXPECT_GE(usable, 16u);
    Free(block);
    MemoryStatisticsRecord r = Read();
    EXPECT_EQ(r.counters[0], usable);  // peak bytes
    EXPECT_EQ(r.counters[1], 1u);      // live allocations at the peak
    EXPECT_EQ(r.counters[2], usable);  // bytes allocated
    EXPECT_EQ(r.counters[3], 1u);
    EXPECT_EQ(r.counters[4], usable);  // bytes freed
    EXPECT_EQ(r.counters[5], 1u);
    EXPECT_EQ(r.reserved[0], 0u);
    EXPECT_EQ(r.reserved[1], 0u);
}

TEST_F(MemoryAccountingTest, ReallocateDuplicateAndNullBlocks) {
    void* grown = Reallocate(nullptr, 40);  // no old block: no freed bytes, still one free
    ASSERT_NE(grown, nullptr);
    MemoryStatisticsRecord r = Read();
    EXPECT_EQ(r.counters[4], 0u);
    EXPECT_EQ(r.counters[5], 1u);
    EXPECT_EQ(r.counters[2], BlockSize(grown));
    EXPECT_EQ(r.counters[3], 1u);

    const uint64_t before = BlockSize(grown);
    void* bigger = Reallocate(grown, 4000);
    const uint64_t after = BlockSize(bigger);
    r = Read();
    EXPECT_EQ(r.counters[4], before);
    EXPECT_EQ(r.counters[2], before + after);
    EXPECT_EQ(r.counters[0], after);  // in use is the new block alone

    char* text = DuplicateText("counted");
    EXPECT_STREQ(text, "counted");
    Free(text);
    Free(bigger);
    Free(nullptr);  // ignored
    r = Read();
    EXPECT_EQ(r.counters[2], r.counters[4]);
    EXPECT_EQ(r.counters[3], 3u);
    EXPECT_EQ(r.counters[5], 4u);
}

TEST_F(MemoryAccountingTest, RequestsTheHeapRefusesCountNothing) {
    // Nothing is that large: the heap refuses, and an allocation counted for
    // it would stay live for good.
    EXPECT_EQ(Allocate(SIZE_MAX), nullptr);
    MemoryStatisticsRecord r = Read();
    for (uint64_t counter : r.counters) EXPECT_EQ(counter, 0u);

    void* block = Allocate(32);
    ASSERT_NE(block, nullptr);
    const MemoryStatisticsRecord holding = Read();
    EXPECT_EQ(Reallocate(block, SIZE_MAX), nullptr);  // the block stays where it was
    r = Read();
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(r.counters[i], holding.counters[i]) << "counter " << i;

    // A heap that refuses every request, under the counting hooks' bookkeeping:
    // a text it cannot copy counts nothing either.
    MemoryHooks refusing = CountingMemoryHooks();
    refusing.duplicateText = [](const char*, MemoryCounters* counters) {
        return static_cast<char*>(CountAllocated(nullptr, counters));
    };
    InstallMemoryHooks(refusing, &counters_);
    EXPECT_EQ(DuplicateText("text"), nullptr);
    Free(block);
    r = Read();
    EXPECT_EQ(r.counters[3], 1u);  // the one block
    EXPECT_EQ(r.counters[5], 1u);
    EXPECT_EQ(r.counters[2], r.counters[4]);
}

TEST_F(MemoryAccountingTest, ReallocatingToNothingCountsOnlyTheFree) {
    void* block = Allocate(64);
    ASSERT_NE(block, nullptr);
    // The heap frees the block and may answer null, or a block of its own.
    void* rest = Reallocate(block, 0);
    Free(rest);
    const MemoryStatisticsRecord r = Read();
    EXPECT_EQ(r.counters[3], r.counters[5]) << "no allocation is left live";
    EXPECT_EQ(r.counters[2], r.counters[4]);
}

TEST_F(MemoryAccountingTest, PeakRecordsLiveAllocationsAtThatMoment) {
    std::vector<void*> blocks;
    uint64_t total = 0;
    for (int i = 0; i < 5; ++i) {
        blocks.push_back(Allocate(100));
        total += BlockSize(blocks.back());
    }
    for (void* b : blocks) Free(b);
    void* small = Allocate(8);
    Free(small);
    MemoryStatisticsRecord r = Read();
    EXPECT_EQ(r.counters[0], total);
    EXPECT_EQ(r.counters[1], 5u);
}

TEST_F(MemoryAccountingTest, CountersStayConsistentAcrossThreads) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 5000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            std::vector<void*> held;
            for (int i = 0; i < kRounds; ++i) {
                held.push_back(Allocate(static_cast<std::size_t>(16 + (i * 7 + t) % 300)));
                if (held.size() > 8) {
                    held[0] = Reallocate(held[0], 64);
                    Free(held.back());
                    held.pop_back();
                }
            }
            for (void* b : held) Free(b);
        });
    }
    for (auto& thread : threads) thread.join();
    MemoryStatisticsRecord r = Read();
    EXPECT_EQ(r.counters[2], r.counters[4]) << "every byte allocated was freed";
    EXPECT_EQ(r.counters[3], r.counters[5]) << "every allocation was freed";
    EXPECT_GT(r.counters[0], 0u);
    EXPECT_LE(r.counters[0], r.counters[2]);
    EXPECT_LE(r.counters[1], r.counters[3]);
}

TEST_F(MemoryAccountingTest, ReplacedHooksReceiveTheirCounters) {
    static MemoryCounters* seen = nullptr;
    MemoryHooks hooks = CountingMemoryHooks();
    hooks.allocate = [](std::size_t bytes, MemoryCounters* counters) {
        seen = counters;
        return CountingMemoryHooks().allocate(bytes, counters);
    };
    MemoryCounters other;
    InstallMemoryHooks(hooks, &other);
    Free(Allocate(10));
    EXPECT_EQ(seen, &other);
    EXPECT_EQ(other.allocations.load(), 1u);
    EXPECT_EQ(counters_.allocations.load(), 0u);
}

// The probe module carries the library's global allocation functions behind
// the library's export rule, and is loaded as a host loads the plug-in.
class LoadedModule {
public:
    LoadedModule() { library_.Open(VORN_MEMORY_PROBE_PATH, &error_); }
    bool Loaded() const { return library_.IsOpen(); }
    const std::string& Error() const { return error_; }
    void* Find(const char* name) const { return library_.Find(name); }
    template <typename F>
    F Get(const char* name) const {
        return reinterpret_cast<F>(library_.Find(name));
    }

private:
    Platform::SharedLibrary library_;
    std::string error_;
};

// The allocation functions' names for either width of size_t.
const char* const kAllocationFunctions[] = {"_Znwm", "_Znwj", "_Znwy", "_ZdlPv", "_Znam", "_Znaj", "_Znay"};

TEST(MemoryAccountingModule, CountsOnlyTheModulesOwnAllocations) {
    LoadedModule module;
    ASSERT_TRUE(module.Loaded()) << module.Error();
#if defined(_WIN32)
    // A DLL's exports are its own alone: the replaced allocation functions
    // are not among them.
    for (const char* name : kAllocationFunctions) EXPECT_EQ(module.Find(name), nullptr) << name;
#else
    // The replaced allocation functions are not exported: looking them up
    // through the module finds the process's own (from the C++ runtime).
    for (const char* name : kAllocationFunctions) {
        EXPECT_EQ(module.Find(name), dlsym(RTLD_DEFAULT, name)) << name;
    }
#endif

    auto statistics = module.Get<void (*)(MemoryStatisticsRecord*)>("vorn_probe_statistics");
    auto allocate = module.Get<uint64_t (*)(uint32_t)>("vorn_probe_allocate");
    auto newBlock = module.Get<void* (*)(uint32_t)>("vorn_probe_new_block");
    auto freeBlock = module.Get<void (*)(void*)>("vorn_probe_free");
    ASSERT_TRUE(statistics && allocate && newBlock && freeBlock);

    MemoryStatisticsRecord before{};
    statistics(&before);
    // The host allocates through its own allocator: the module sees nothing.
    {
        std::vector<std::unique_ptr<int[]>> hostBlocks;
        for (int i = 0; i < 100; ++i) hostBlocks.emplace_back(new int[64]);
    }
    MemoryStatisticsRecord afterHost{};
    statistics(&afterHost);
    EXPECT_EQ(afterHost.counters[3], before.counters[3]);
    EXPECT_EQ(afterHost.counters[2], before.counters[2]);

    // The module's own allocations are counted, and balanced.
    EXPECT_EQ(allocate(1000), 7000u);
    void* block = newBlock(256);
    MemoryStatisticsRecord holding{};
    statistics(&holding);
    EXPECT_GE(holding.counters[3], before.counters[3] + 2);
    EXPECT_GE(holding.counters[2] - before.counters[2], 8000u + 256u);
    freeBlock(block);
    MemoryStatisticsRecord after{};
    statistics(&after);
    EXPECT_EQ(after.counters[2] - after.counters[4], before.counters[2] - before.counters[4]);
    EXPECT_EQ(after.counters[3] - after.counters[5], before.counters[3] - before.counters[5]);
}

// VORN_FAIL_ALLOCATION=k@<module file> makes that module's k-th allocation
// fail (read at its first allocation); another module's name, or no
// variable, fails nothing.
TEST(MemoryAccountingModule, AnInjectedFailureHitsTheNamedModulesKthAllocation) {
    auto countToBlock = [](const char* failing) {
        if (failing != nullptr) {
            EXPECT_TRUE(Platform::SetEnvironmentText("VORN_FAIL_ALLOCATION", failing));
        }
        LoadedModule module;
        EXPECT_TRUE(module.Loaded()) << module.Error();
        auto statistics = module.Get<void (*)(MemoryStatisticsRecord*)>("vorn_probe_statistics");
        auto newBlock = module.Get<void* (*)(uint32_t)>("vorn_probe_new_block");
        auto freeBlock = module.Get<void (*)(void*)>("vorn_probe_free");
        uint64_t count = 0;
        try {
            void* block = newBlock(64);
            MemoryStatisticsRecord record{};
            statistics(&record);
            count = record.counters[3];
            freeBlock(block);
        } catch (const std::bad_alloc&) {
            count = 0;
        }
        Platform::SetEnvironmentText("VORN_FAIL_ALLOCATION", "");
        return count;
    };
    const uint64_t k = countToBlock(nullptr);  // the block is the module's k-th allocation
    ASSERT_GT(k, 0u);
    const std::string name = VORN_MEMORY_PROBE_NAME;
    EXPECT_EQ(countToBlock((std::to_string(k) + "@" + name).c_str()), 0u) << "the k-th allocation failed";
    EXPECT_EQ(countToBlock((std::to_string(k + 1) + "@" + name).c_str()), k) << "a later one is not reached";
    EXPECT_EQ(countToBlock((std::to_string(k) + "@other-" + name).c_str()), k) << "another module's name";
    EXPECT_EQ(countToBlock(std::to_string(k).c_str()), 0u) << "no name: every module";
    EXPECT_EQ(countToBlock((std::to_string(k) + "x").c_str()), k) << "not a number";
    EXPECT_EQ(countToBlock(("00" + std::to_string(k)).c_str()), 0u) << "leading zeros";
}

TEST(MemoryAccountingModule, TheModuleIsNamedAfterItsOwnFile) {
    LoadedModule module;
    ASSERT_TRUE(module.Loaded()) << module.Error();
    auto name = module.Get<const char* (*)()>("vorn_probe_module_name");
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name(), VORN_MEMORY_PROBE_NAME);
}

}  // namespace
}  // namespace Vorn

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/debugger_output.h"
#include "platform/heap.h"
#include "platform/page_region.h"
#include "platform/process_info.h"
#include "platform/random_source.h"
#include "platform/recursive_lock.h"
#include "platform/shared_library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace Vorn::Platform {
namespace {

TEST(PageRegion, IsAlignedToItsSizeWritableAndReleasable) {
    void* regions[8];
    for (void*& region : regions) {
        region = ReserveRegion();
        ASSERT_NE(region, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(region) % kRegionSize, 0u);
        std::memset(region, 0xAB, kRegionSize);
        EXPECT_EQ(static_cast<unsigned char*>(region)[kRegionSize - 1], 0xAB);
    }
    for (void* region : regions) ReleaseRegion(region);
}

#if defined(__linux__) && defined(__x86_64__)
// The ranges of this process's mappings that carry the large-page advice.
std::vector<std::pair<uintptr_t, uintptr_t>> AdvisedRanges() {
    std::vector<std::pair<uintptr_t, uintptr_t>> ranges;
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    uintptr_t start = 0;
    uintptr_t end = 0;
    while (std::getline(smaps, line)) {
        unsigned long a = 0;
        unsigned long b = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx ", &a, &b) == 2 && line.find(':') > line.find(' ')) {
            start = a;
            end = b;
        } else if (line.rfind("VmFlags:", 0) == 0 && (line + " ").find(" hg ") != std::string::npos) {
            ranges.emplace_back(start, end);
        }
    }
    return ranges;
}

// Only the whole 2 MiB pages inside the range are advised: the kernel marks
// that part of the mapping and nothing around it (a range holding no whole
// large page marks nothing; one that starts on a boundary keeps its start).
TEST(PageRegion, LargePageAdviceCoversTheWholeLargePagesInside) {
    constexpr uintptr_t kLarge = uintptr_t{2} << 20;
    constexpr std::size_t kSpan = 16 * kLarge;
    void* mapped = mmap(nullptr, kSpan, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapped, MAP_FAILED);
    const auto base = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (base + kLarge - 1) & ~(kLarge - 1);
    AdviseLargePages(reinterpret_cast<void*>(aligned + 4096), 2 * kLarge);
    AdviseLargePages(reinterpret_cast<void*>(aligned + 4 * kLarge), kLarge);
    AdviseLargePages(reinterpret_cast<void*>(aligned + 7 * kLarge + 4096), kLarge);
    std::vector<std::pair<uintptr_t, uintptr_t>> inside;
    for (const auto& range : AdvisedRanges()) {
        if (range.first < base + kSpan && range.second > base) inside.push_back(range);
    }
    const std::vector<std::pair<uintptr_t, uintptr_t>> expected = {{aligned + kLarge, aligned + 2 * kLarge},
                                                                   {aligned + 4 * kLarge, aligned + 5 * kLarge}};
    EXPECT_EQ(inside, expected);
    munmap(mapped, kSpan);
}
#endif

TEST(RecursiveLock, OwnerMayTakeItAgainOthersMayNot) {
    RecursiveLock lock;
    lock.Lock();
    EXPECT_TRUE(lock.TryLock());  // re-entry by the owner
    bool otherGotIt = true;
    std::thread other([&] { otherGotIt = lock.TryLock(); });
    other.join();
    EXPECT_FALSE(otherGotIt);
    lock.Unlock();
    lock.Unlock();
    std::thread after([&] {
        otherGotIt = lock.TryLock();
        if (otherGotIt) lock.Unlock();
    });
    after.join();
    EXPECT_TRUE(otherGotIt);
}

TEST(Clock, TimeBaseSplitsWholeSecondsAndRemainder) {
    // 10 MHz counter, as Windows reports it: 2.5 s worth of counts.
    EXPECT_EQ(CounterToNanoseconds(25000000, 10000000), 2500000000ULL);
    // A counter value whose product with 10^9 would overflow 64 bits.
    const uint64_t counter = 0xFFFFFFFFFFFFULL;
    EXPECT_EQ(CounterToNanoseconds(counter, 3579545), 78634289193362564ULL);
    EXPECT_EQ(CounterToNanoseconds(7, 1), 7000000000ULL);
}

TEST(Clock, MonotonicAndWallClockMove) {
    uint64_t a = MonotonicNanoseconds();
    uint64_t b = MonotonicNanoseconds();
    EXPECT_LE(a, b);
    EXPECT_GT(HighResolutionFrequency(), 0u);
    // Later than 2020-01-01 in 100-ns ticks since 1970.
    EXPECT_GT(SystemTimeTicks(), 1577836800ULL * 10000000ULL);
    LocalTime t = LocalTimeNow();
    EXPECT_GE(t.year, 2020);
    EXPECT_GE(t.month, 1);
    EXPECT_LE(t.month, 12);
    EXPECT_GE(t.millisecond, 0);
    EXPECT_LE(t.millisecond, 999);
}

TEST(ProcessInfo, FileNamePartTakesTextAfterLastSeparator) {
    EXPECT_STREQ(FileNamePart("C:\\Games\\Client\\client.exe"), "client.exe");
    EXPECT_STREQ(FileNamePart("/usr/lib/libx.so"), "libx.so");
    EXPECT_STREQ(FileNamePart("plain"), "plain");
    EXPECT_STREQ(FileNamePart("ends/"), "");
}

#if defined(_WIN32)
constexpr const char* kTestProgram = "vorn-tests-platform.exe";
#else
constexpr const char* kTestProgram = "vorn-tests-platform";
#endif

TEST(ProcessInfo, NamesTheRunningModule) {
    EXPECT_STREQ(ExecutableFileName(), kTestProgram);
    // Linked statically into the test program, the module is the program.
    EXPECT_STREQ(ModuleFileName(), kTestProgram);
}

TEST(ProcessInfo, EnvironmentTextIsCopiedWhenItFits) {
    char out[8];
    std::memset(out, '#', sizeof(out));
    ASSERT_TRUE(Platform::SetEnvironmentText("VORN_PLATFORM_TEST", "1234567"));
    EXPECT_TRUE(Platform::EnvironmentText("VORN_PLATFORM_TEST", out, sizeof(out)));
    EXPECT_STREQ(out, "1234567");
    EXPECT_FALSE(Platform::EnvironmentText("VORN_PLATFORM_TEST", out, 7)) << "no room for the NUL";
    EXPECT_FALSE(Platform::EnvironmentText("VORN_PLATFORM_TEST", out, 0));
    ASSERT_TRUE(Platform::SetEnvironmentText("VORN_PLATFORM_TEST", "x"));
    EXPECT_TRUE(Platform::EnvironmentText("VORN_PLATFORM_TEST", out, 2));
    EXPECT_STREQ(out, "x");
    EXPECT_FALSE(Platform::EnvironmentText("VORN_PLATFORM_TEST_NEVER_SET", out, sizeof(out)));
}

TEST(DebuggerOutput, WritesNowhereUntilASinkIsSet) {
    DebuggerOutput("dropped");  // must not crash without a sink
    std::string seen;
    SetDebuggerSink([](const char* text, void* user) { *static_cast<std::string*>(user) += text; }, &seen);
    DebuggerOutput("line\n");
    SetDebuggerSink(nullptr, nullptr);
    DebuggerOutput("dropped again");
    EXPECT_EQ(seen, "line\n");
}

TEST(Heap, BlockSizeIsAtLeastTheRequest) {
    void* block = HeapAllocate(13);
    EXPECT_GE(HeapBlockSize(block), 13u);
    EXPECT_EQ(HeapBlockSize(nullptr), 0u);
    HeapFree(block);
    char* copy = HeapDuplicateText("abc");
    EXPECT_STREQ(copy, "abc");
    HeapFree(copy);
}

TEST(RandomSource, FillsOddSizesAndVaries) {
    unsigned char bytes[33] = {};
    FillRandom(bytes, sizeof(bytes));
    int zeros = 0;
    for (unsigned char b : bytes) zeros += b == 0;
    EXPECT_LT(zeros, 10);
    EXPECT_NE(RandomUint64(), RandomUint64());

    // A seed in the environment makes every draw repeat; only a whole number
    // is one.
    ASSERT_TRUE(SetEnvironmentText("VORN_RANDOM_SEED", "7"));
    unsigned char again[33] = {};
    FillRandom(bytes, sizeof(bytes));
    FillRandom(again, sizeof(again));
    EXPECT_EQ(0, std::memcmp(bytes, again, sizeof(bytes)));
    EXPECT_LT(std::count(bytes, bytes + sizeof(bytes), 0), 3) << "every byte of each word is used";
    const uint64_t seven = RandomUint64();
    EXPECT_EQ(seven, RandomUint64());
    ASSERT_TRUE(SetEnvironmentText("VORN_RANDOM_SEED", "8"));
    EXPECT_NE(seven, RandomUint64());
    // The stream is splitmix64 from the seed, the same in every build and
    // version: traces saved by one are compared with runs of another.
    const struct {
        const char* seed;
        uint64_t first;
    } streams[] = {{"0", 0xE220A8397B1DCDAFULL}, {"10", 0x088712BE8A582FCAULL}};
    for (const auto& stream : streams) {
        ASSERT_TRUE(SetEnvironmentText("VORN_RANDOM_SEED", stream.seed));
        EXPECT_EQ(RandomUint64(), stream.first) << stream.seed;
    }
    ASSERT_TRUE(SetEnvironmentText("VORN_RANDOM_SEED", "9"));
    EXPECT_EQ(RandomUint64(), RandomUint64());
    ASSERT_TRUE(SetEnvironmentText("VORN_RANDOM_SEED", "7x"));
    EXPECT_NE(RandomUint64(), RandomUint64());
    ASSERT_TRUE(SetEnvironmentText("VORN_RANDOM_SEED", ""));
    EXPECT_NE(RandomUint64(), RandomUint64());
}

#if defined(_WIN32)
// Where Windows differs: regions come whole from the system's allocation
// granularity, paths are written with backslashes, and a library's exports
// are looked up in it alone.

TEST(PageRegion, IsOneCommittedAllocationAtTheSystemsGranularity) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    EXPECT_EQ(system.dwAllocationGranularity, kRegionSize) << "regions are aligned without trimming";
    void* region = ReserveRegion();
    ASSERT_NE(region, nullptr);
    MEMORY_BASIC_INFORMATION memory{};
    ASSERT_NE(VirtualQuery(region, &memory, sizeof(memory)), 0u);
    EXPECT_EQ(memory.AllocationBase, region);
    EXPECT_EQ(memory.RegionSize, kRegionSize);
    EXPECT_EQ(memory.State, static_cast<DWORD>(MEM_COMMIT));
    EXPECT_EQ(memory.Protect, static_cast<DWORD>(PAGE_READWRITE));
    ReleaseRegion(region);
    ASSERT_NE(VirtualQuery(region, &memory, sizeof(memory)), 0u);
    EXPECT_EQ(memory.State, static_cast<DWORD>(MEM_FREE)) << "released whole";
}

TEST(ProcessInfo, TakesNamesFromBackslashedPaths) {
    char path[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameA(nullptr, path, sizeof(path)), 0u);
    EXPECT_STREQ(ExecutablePath(), path);
    const char* separator = std::strrchr(ExecutablePath(), '\\');
    ASSERT_NE(separator, nullptr) << ExecutablePath();
    EXPECT_STREQ(separator + 1, kTestProgram);
}

TEST(SharedLibrary, FindsADllsOwnExportsAndNothingElse) {
    SharedLibrary library;
    std::string error;
    ASSERT_TRUE(library.Open("kernel32.dll", &error)) << error;
    EXPECT_EQ(library.Find("GetTickCount"),
              reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount")));
    EXPECT_EQ(library.Find("load_vorn_test_plugin"), nullptr) << "an export the DLL does not have";
    EXPECT_EQ(library.Find("GetProcAddressX"), nullptr);
    library.Close();
    EXPECT_FALSE(library.IsOpen());
    EXPECT_EQ(library.Find("GetTickCount"), nullptr) << "nothing once closed";
}

TEST(SharedLibrary, AMissingDllFailsWithThePathAndTheSystemsReason) {
    SharedLibrary library;
    std::string error;
    EXPECT_FALSE(library.Open("C:/no/such/folder/library.dll", &error));
    EXPECT_FALSE(library.IsOpen());
    EXPECT_EQ(error.rfind("C:/no/such/folder/library.dll: ", 0), 0u) << error;
    EXPECT_GT(error.size(), std::string("C:/no/such/folder/library.dll: ").size()) << error;
}

TEST(Clock, CountsInThePerformanceCountersUnits) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    EXPECT_EQ(HighResolutionFrequency(), static_cast<uint64_t>(frequency.QuadPart));
    LARGE_INTEGER before;
    QueryPerformanceCounter(&before);
    const uint64_t reading = HighResolutionCounter();
    LARGE_INTEGER after;
    QueryPerformanceCounter(&after);
    EXPECT_GE(reading, static_cast<uint64_t>(before.QuadPart));
    EXPECT_LE(reading, static_cast<uint64_t>(after.QuadPart));
}
#endif

}  // namespace
}  // namespace Vorn::Platform

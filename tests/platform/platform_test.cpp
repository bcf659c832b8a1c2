#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>

#include "platform/clock.h"
#include "platform/debugger_output.h"
#include "platform/heap.h"
#include "platform/page_region.h"
#include "platform/process_info.h"
#include "platform/random_source.h"
#include "platform/recursive_lock.h"

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

TEST(ProcessInfo, NamesTheRunningModule) {
    EXPECT_STREQ(ExecutableFileName(), "vorn-tests-platform");
    // Linked statically into the test program, the module is the program.
    EXPECT_STREQ(ModuleFileName(), "vorn-tests-platform");
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
}

}  // namespace
}  // namespace Vorn::Platform

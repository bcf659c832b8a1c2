// Every test of the suites that link this must give back all it took from
// the library's heap: a block a test leaves behind fails that test.
#include <gtest/gtest.h>

#include <cstdint>

#include "support/memory_hooks.h"

namespace Vorn::Testing {
namespace {

// In bytes: the counts of blocks take a reallocation from null as a free too.
uint64_t LiveBytes() {
    const MemoryCounters& counters = ModuleMemoryCounters();
    return counters.bytesAllocated.load() - counters.bytesFreed.load();
}

class HeapBalance : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { before_ = LiveBytes(); }
    void OnTestEnd(const ::testing::TestInfo&) override {
        EXPECT_EQ(LiveBytes(), before_) << "bytes of the library's heap left behind by the test";
    }

    uint64_t before_ = 0;
};

const bool kInstalled = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new HeapBalance);
    return true;
}();

}  // namespace
}  // namespace Vorn::Testing

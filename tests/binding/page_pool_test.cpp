#include "binding/page_pool.h"

#include <gtest/gtest.h>

#include <vector>

namespace Vorn {
namespace {

// Takes whole regions' worth of pages and gives them back on request.
class Pages {
public:
    explicit Pages(std::size_t regions) {
        for (std::size_t i = 0; i < regions * PagePool::kPagesPerRegion; ++i) {
            pages_.push_back(PagePool::Instance().TakePage());
        }
    }
    ~Pages() { ReturnAll(); }
    void ReturnAll() {
        for (void* page : pages_) PagePool::Instance().ReturnPage(page);
        pages_.clear();
    }

private:
    std::vector<void*> pages_;
};

// Every test leaves the pool as the library starts it: no reserve.
class PageReserve : public ::testing::Test {
protected:
    void TearDown() override { PagePool::Instance().SetRetainedRegions(0); }
};

TEST_F(PageReserve, WhollyFreeRegionsUpToTheCapAreKeptAndTheRestReleased) {
    PagePool& pool = PagePool::Instance();
    pool.SetRetainedRegions(2);
    const PagePool::Statistics before = pool.Stats();
    Pages(3).ReturnAll();
    const PagePool::Statistics after = pool.Stats();
    EXPECT_EQ(after.regionsReserved, before.regionsReserved + 3);
    EXPECT_EQ(after.regionsReleased, before.regionsReleased + 1);
    EXPECT_EQ(after.retainedRegions, before.retainedRegions + 2);
    EXPECT_EQ(after.regionsHeld, before.regionsHeld + 2);
}

TEST_F(PageReserve, TheNextTreeTakesTheKeptRegionsFirst) {
    PagePool& pool = PagePool::Instance();
    pool.SetRetainedRegions(2);
    Pages(2).ReturnAll();
    const PagePool::Statistics kept = pool.Stats();
    {
        Pages again(3);
        EXPECT_EQ(pool.Stats().regionsReserved, kept.regionsReserved + 1);  // only the third is new
        EXPECT_EQ(pool.Stats().retainedRegions, 0u);
    }
    EXPECT_EQ(pool.Stats().retainedRegions, 2u);
}

TEST_F(PageReserve, LoweringTheCapReleasesTheSurplusAtOnce) {
    PagePool& pool = PagePool::Instance();
    pool.SetRetainedRegions(4);
    Pages(4).ReturnAll();
    EXPECT_EQ(pool.Stats().retainedRegions, 4u);
    const uint64_t released = pool.Stats().regionsReleased;
    pool.SetRetainedRegions(1);
    EXPECT_EQ(pool.Stats().retainedRegions, 1u);
    EXPECT_EQ(pool.Stats().regionsReleased, released + 3);
}

TEST_F(PageReserve, ReleasingTheReserveKeepsTheCap) {
    PagePool& pool = PagePool::Instance();
    pool.SetRetainedRegions(3);
    Pages(2).ReturnAll();
    pool.ReleaseReserve();
    EXPECT_EQ(pool.Stats().retainedRegions, 0u);
    EXPECT_EQ(pool.RetainedRegions(), 3u);
    Pages(1).ReturnAll();
    EXPECT_EQ(pool.Stats().retainedRegions, 1u);
}

TEST_F(PageReserve, WithoutAReserveEveryFreeRegionGoesBackAtOnce) {
    PagePool& pool = PagePool::Instance();
    pool.SetRetainedRegions(0);
    const PagePool::Statistics before = pool.Stats();
    Pages(2).ReturnAll();
    const PagePool::Statistics after = pool.Stats();
    EXPECT_EQ(after.regionsReleased, before.regionsReleased + 2);
    EXPECT_EQ(after.retainedRegions, before.retainedRegions);
    EXPECT_EQ(after.regionsHeld, before.regionsHeld);
}

TEST_F(PageReserve, RegionsStillInUseAreNeverReleased) {
    PagePool& pool = PagePool::Instance();
    pool.SetRetainedRegions(8);
    Pages held(1);
    Pages(1).ReturnAll();
    const uint64_t released = pool.Stats().regionsReleased;
    pool.ReleaseReserve();
    EXPECT_EQ(pool.Stats().regionsReleased, released + 1);  // the free one only
    EXPECT_GE(pool.Stats().regionsHeld, 1u);
}

// Following recent use, on a clock the tests move.
uint64_t fakeNow = 0;
uint64_t FakeClock() { return fakeNow; }
constexpr uint64_t kWindow = 1000;

class PeakReserve : public PageReserve {
protected:
    void SetUp() override {
        fakeNow = 0;
        PagePool::Instance().SetRetainedRegions(1);
        PagePool::Instance().FollowRecentPeak(8, kWindow, &FakeClock);
    }
    void TearDown() override {
        PagePool::Instance().FollowRecentPeak(0);
        PageReserve::TearDown();
    }
};

TEST_F(PeakReserve, ATreeLargerThanTheCapKeepsItsRegionsForTheNext) {
    PagePool& pool = PagePool::Instance();
    Pages(5).ReturnAll();
    EXPECT_EQ(pool.Stats().retainedRegions, 5u);
    const uint64_t reserved = pool.Stats().regionsReserved;
    Pages(5).ReturnAll();
    EXPECT_EQ(pool.Stats().regionsReserved, reserved);  // nothing new from the system
}

TEST_F(PeakReserve, NoMoreThanTheCeilingIsHeld) {
    PagePool& pool = PagePool::Instance();
    Pages(12).ReturnAll();
    EXPECT_EQ(pool.Stats().retainedRegions, 8u);
    // With regions in use, the ceiling counts them too.
    Pages held(3);
    Pages(4).ReturnAll();
    EXPECT_LE(pool.Stats().regionsHeld, 8u);
}

TEST_F(PeakReserve, TheSurplusGoesBackOnceThePeakIsTwoWindowsOld) {
    PagePool& pool = PagePool::Instance();
    Pages(6).ReturnAll();
    EXPECT_EQ(pool.Stats().retainedRegions, 6u);
    fakeNow += kWindow;  // the peak is still the previous window's
    Pages(1).ReturnAll();
    EXPECT_EQ(pool.Stats().retainedRegions, 6u);
    fakeNow += kWindow;  // now it is older: only this window's use and the cap count
    Pages(1).ReturnAll();
    EXPECT_EQ(pool.Stats().retainedRegions, 1u);
}

TEST_F(PeakReserve, StoppingToFollowKeepsOnlyTheFixedCap) {
    PagePool& pool = PagePool::Instance();
    Pages(6).ReturnAll();
    const uint64_t released = pool.Stats().regionsReleased;
    pool.FollowRecentPeak(0);
    EXPECT_EQ(pool.Stats().retainedRegions, 1u);
    EXPECT_EQ(pool.Stats().regionsReleased, released + 5);
}

}  // namespace
}  // namespace Vorn

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

}  // namespace
}  // namespace Vorn

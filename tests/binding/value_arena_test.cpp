#include "binding/value_arena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "binding/binding_property.h"
#include "binding/page_pool.h"

namespace Vorn {
namespace {

struct ArenaDeleter {
    void operator()(ValueArena* arena) const { ValueArena::Destroy(arena); }
};
using ArenaPtr = std::unique_ptr<ValueArena, ArenaDeleter>;

TEST(ValueArena, FreedBlocksAreReusedFirst) {
    ArenaPtr arena(ValueArena::Create());
    void* a = arena->Allocate(24);
    void* b = arena->Allocate(24);
    EXPECT_NE(a, b);
    arena->Free(a, 24);
    EXPECT_EQ(arena->Allocate(24), a);  // the head of the chain
    arena->Free(b, 24);
    arena->Free(a, 24);
    EXPECT_EQ(arena->Allocate(24), a);
    EXPECT_EQ(arena->Allocate(24), b);
}

TEST(ValueArena, BlocksAreAlignedAndDisjointInEveryClass) {
    ArenaPtr arena(ValueArena::Create());
    for (std::size_t size : {1u, 4u, 12u, 24u, 40u, 72u, 73u, 100u, 150u, 190u, 200u, 300u, 1008u}) {
        std::vector<unsigned char*> blocks;
        for (int i = 0; i < 300; ++i) {
            auto* block = static_cast<unsigned char*>(arena->Allocate(size));
            EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % ValueArena::kGranule, 0u) << size;
            std::memset(block, i & 0xFF, size);
            blocks.push_back(block);
        }
        for (int i = 0; i < 300; ++i) {
            ASSERT_EQ(blocks[i][0], i & 0xFF) << "block " << i << " of size " << size << " was overwritten";
            ASSERT_EQ(blocks[i][size - 1], i & 0xFF);
        }
        for (unsigned char* block : blocks) arena->Free(block, size);
    }
    EXPECT_EQ(arena->Stats().pagesHeld, 0u);
    EXPECT_EQ(arena->Stats().blocksInUse, 0u);
}

// Pages hand out freed blocks first and then their untouched ones; a full
// page with blocks freed takes them again before another page is drawn.
// A size takes the smallest class that holds it: blocks of either size of a
// pair fill as many pages.
TEST(ValueArena, ASizeTakesTheSmallestClassThatHoldsIt) {
    const std::pair<std::size_t, std::size_t> pairs[] = {{69, 72}, {73, 88}, {80, 88}, {89, 104}, {161, 192}, {681, 1008}};
    for (const auto& [size, classSize] : pairs) {
        ArenaPtr sized(ValueArena::Create());
        ArenaPtr classed(ValueArena::Create());
        for (int i = 0; i < 400; ++i) {
            sized->Allocate(size);
            classed->Allocate(classSize);
        }
        EXPECT_EQ(sized->Stats().pagesHeld, classed->Stats().pagesHeld) << size;
    }
}

TEST(ValueArena, FreedAndUntouchedBlocksAreAllUsedBeforeANewPage) {
    ArenaPtr arena(ValueArena::Create());
    std::vector<void*> blocks;
    std::set<void*> distinct;
    for (int i = 0; i < 200; ++i) blocks.push_back(arena->Allocate(48));
    const std::size_t pages = arena->Stats().pagesHeld;
    for (std::size_t i = 0; i < blocks.size(); i += 2) arena->Free(blocks[i], 48);
    std::set<void*> freed;
    for (std::size_t i = 0; i < blocks.size(); i += 2) freed.insert(blocks[i]);
    for (std::size_t i = 0; i < freed.size(); ++i) {
        void* block = arena->Allocate(48);
        EXPECT_EQ(freed.count(block), 1u) << "a freed block was passed over";
        distinct.insert(block);
    }
    EXPECT_EQ(distinct.size(), freed.size());
    EXPECT_EQ(arena->Stats().pagesHeld, pages);
    EXPECT_EQ(arena->Stats().blocksInUse, 200u);
}

TEST(ValueArena, SmallClassesStartInsideTheArena) {
    ArenaPtr arena(ValueArena::Create());
    void* first = arena->Allocate(16);
    EXPECT_GE(static_cast<void*>(first), static_cast<void*>(arena.get()));
    EXPECT_LT(static_cast<void*>(first), static_cast<void*>(arena.get() + 1));
    EXPECT_EQ(arena->Stats().pagesHeld, 0u);
    // The inline page of a class holds (144 - header) / size blocks; more take a pool page.
    for (int i = 0; i < 20; ++i) arena->Allocate(16);
    EXPECT_EQ(arena->Stats().pagesHeld, 1u);
}

TEST(ValueArena, EmptyPagesGoBackAndRegionsAreReleased) {
    const PagePool::Statistics before = PagePool::Instance().Stats();
    {
        ArenaPtr arena(ValueArena::Create());
        std::vector<void*> blocks;
        // 40 pages' worth of 64-byte blocks: more than two regions.
        for (int i = 0; i < 40 * 60; ++i) blocks.push_back(arena->Allocate(64));
        EXPECT_GE(arena->Stats().pagesHeld, 38u);
        EXPECT_GE(PagePool::Instance().Stats().regionsHeld, before.regionsHeld + 3);
        for (void* block : blocks) arena->Free(block, 64);
        EXPECT_EQ(arena->Stats().pagesHeld, 0u);
    }
    const PagePool::Statistics after = PagePool::Instance().Stats();
    EXPECT_EQ(after.regionsHeld, before.regionsHeld);
    EXPECT_EQ(after.freePages, before.freePages);
    EXPECT_GE(after.regionsReleased, before.regionsReleased + 3);
}

TEST(ValueArena, LargeBlocksComeFromTheHeapAndAreFreedWithTheArena) {
    ArenaPtr arena(ValueArena::Create());
    void* big = arena->Allocate(5000);
    std::memset(big, 1, 5000);
    arena->Allocate(100000);
    EXPECT_EQ(arena->Stats().heapBlocks, 2u);
    arena->Free(big, 5000);
    EXPECT_EQ(arena->Stats().heapBlocks, 1u);
    // The remaining block goes with the arena (the suite checks the heap
    // after every test), and so do those a Clear finds.
    ArenaPtr cleared(ValueArena::Create());
    cleared->Allocate(3000);
    cleared->Allocate(4000);
    cleared->Clear();
    EXPECT_EQ(cleared->Stats().heapBlocks, 0u);
}

TEST(ValueArena, InterningStoresEqualTextsOnceAndCounts) {
    ArenaPtr arena(ValueArena::Create());
    InternedString* a = arena->Intern("alpha");
    InternedString* again = arena->Intern(std::string("alpha"));
    EXPECT_EQ(a, again);
    EXPECT_EQ(a->references, 2u);
    EXPECT_EQ(a->hash, 0x5D8B6DABu);  // FNV-1a of "alpha"
    EXPECT_STREQ(a->Text(), "alpha");
    InternedString* withNul = arena->Intern(std::string_view("al\0pha", 6));
    EXPECT_NE(withNul, a);
    EXPECT_EQ(withNul->length, 6u);
    EXPECT_EQ(arena->Stats().internedStrings, 2u);
    arena->Release(a);
    EXPECT_EQ(arena->FindInterned("alpha"), a);
    arena->Release(a);
    EXPECT_EQ(arena->FindInterned("alpha"), nullptr);
    EXPECT_EQ(arena->Stats().internedStrings, 1u);

    // The empty text is one shared entry that is never counted.
    InternedString* empty = arena->Intern("");
    EXPECT_EQ(empty, ValueArena::EmptyString());
    EXPECT_EQ(empty->references, 0u);
    arena->Release(empty);
    EXPECT_EQ(empty->references, 0u);
    EXPECT_STREQ(empty->Text(), "");
}

TEST(ValueArena, TheInternTableGrowsAndKeepsEveryEntry) {
    ArenaPtr arena(ValueArena::Create());
    std::vector<InternedString*> entries;
    for (int i = 0; i < 5000; ++i) entries.push_back(arena->Intern("key" + std::to_string(i)));
    for (int i = 0; i < 5000; ++i) EXPECT_EQ(arena->FindInterned("key" + std::to_string(i)), entries[i]);
    for (InternedString* entry : entries) arena->Release(entry);
    EXPECT_EQ(arena->Stats().internedStrings, 0u);
    // The emptied table held nothing back, not even its tables, and starts
    // again from its first id.
    EXPECT_EQ(arena->Stats().blocksInUse, 0u);
    EXPECT_EQ(arena->Stats().heapBlocks, 0u);
    for (int i = 0; i < 50; ++i) entries[i] = arena->Intern("again" + std::to_string(i));
    EXPECT_EQ(entries[0]->id, 1u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(arena->FindInterned("again" + std::to_string(i)), entries[i]);
    for (int i = 0; i < 50; ++i) arena->Release(entries[i]);
}

// The table runs up to three quarters full, so probe runs are long and
// wrap around its end: removing entries out of order must keep every other
// one reachable, and their places must take new texts.
TEST(ValueArena, RemovalsInAFullTableKeepTheOthersReachable) {
    ArenaPtr arena(ValueArena::Create());
    std::vector<InternedString*> entries;
    for (int i = 0; i < 3000; ++i) entries.push_back(arena->Intern("k" + std::to_string(i)));
    for (int i = 0; i < 3000; i += 3) arena->Release(entries[i]);
    for (int i = 0; i < 3000; ++i) {
        InternedString* found = arena->FindInterned("k" + std::to_string(i));
        EXPECT_EQ(found, i % 3 == 0 ? nullptr : entries[i]) << i;
    }
    // Freed ids are handed out again; new texts are found by their own names.
    for (int i = 0; i < 3000; i += 3) entries[i] = arena->Intern("n" + std::to_string(i));
    for (int i = 0; i < 3000; ++i) {
        const std::string text = (i % 3 == 0 ? "n" : "k") + std::to_string(i);
        ASSERT_EQ(arena->FindInterned(text), entries[i]) << text;
        EXPECT_EQ(arena->StringAt(entries[i]->id), entries[i]);
    }
    for (InternedString* entry : entries) arena->Release(entry);
    EXPECT_EQ(arena->Stats().internedStrings, 0u);
}

// Names are interned, values' texts are each their own; both leave with
// their values.
TEST(ValueArena, TreeStringsAreReleasedWithTheirValues) {
    BindingProperty tree;
    for (int i = 0; i < 100; ++i) tree.Element(static_cast<std::size_t>(i)).Member("id").SetString("same");
    ValueArena* arena = tree.Arena();
    EXPECT_EQ(arena->FindInterned("same"), nullptr);
    EXPECT_EQ(arena->FindInterned("id")->references, 100u);
    EXPECT_EQ(arena->Stats().internedStrings, 1u);
    EXPECT_EQ(arena->Stats().looseStrings, 100u);
    EXPECT_EQ(tree.GetElement(1).GetMember("id").AsInterned()->id, ValueArena::kLooseId);
    tree.Element(0).Reset();
    EXPECT_EQ(arena->FindInterned("id")->references, 99u);
    EXPECT_EQ(arena->Stats().looseStrings, 99u);
    tree.Reset();
    EXPECT_EQ(arena->Stats().internedStrings, 0u);
    EXPECT_EQ(arena->Stats().looseStrings, 0u);
    EXPECT_EQ(arena->Stats().blocksInUse, 0u);
    EXPECT_EQ(arena->Stats().pagesHeld, 0u);
}

TEST(ValueArena, ClearReturnsEverythingAndTheArenaStaysUsable) {
    ArenaPtr arena(ValueArena::Create());
    for (int i = 0; i < 2000; ++i) arena->Intern("text number " + std::to_string(i));
    arena->NewText("a value's text");
    arena->Allocate(4000);
    EXPECT_GT(arena->Stats().pagesHeld, 0u);
    arena->Clear();
    EXPECT_EQ(arena->Stats().pagesHeld, 0u);
    EXPECT_EQ(arena->Stats().heapBlocks, 0u);
    EXPECT_EQ(arena->Stats().internedStrings, 0u);
    EXPECT_EQ(arena->Stats().looseStrings, 0u);
    EXPECT_EQ(arena->FindInterned("text number 5"), nullptr);
    EXPECT_EQ(arena->Intern("again")->references, 1u);
}

TEST(PagePool, ManyThreadsBuildAndDropTreesAtOnce) {
    constexpr int kThreads = 4;
    const PagePool::Statistics before = PagePool::Instance().Stats();
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            for (int round = 0; round < 30; ++round) {
                BindingProperty tree;
                for (int i = 0; i < 400; ++i) {
                    BindingProperty& item = tree.Element(static_cast<std::size_t>(i));
                    item.Member("thread").SetSigned(t);
                    item.Member("text").SetString("value " + std::to_string(i * kThreads + t));
                }
                BindingProperty copy = tree;
                for (int i = 0; i < 400; ++i) {
                    const BindingProperty& item = copy.GetElement(static_cast<std::size_t>(i));
                    if (item.GetMember("thread").AsSigned() != t ||
                        item.GetMember("text").AsString() != "value " + std::to_string(i * kThreads + t)) {
                        ++failures[t];
                    }
                }
                if (round % 2 == 0) tree.Reset();  // half by walking, half wholesale
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
    const PagePool::Statistics after = PagePool::Instance().Stats();
    EXPECT_EQ(after.regionsHeld, before.regionsHeld);
    EXPECT_GT(after.regionsReserved, before.regionsReserved);
}

}  // namespace
}  // namespace Vorn

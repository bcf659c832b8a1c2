#include "binding/binding_property.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "binding/binding_limits.h"
#include "binding/binding_result.h"
#include "binding/value_arena.h"
#include "support/memory_hooks.h"
#include "recording_visitor.h"

namespace Vorn {
namespace {

using Testing::Walk;

constexpr TypeIdentifier kSomeType = MakeTypeIdentifier(0x4B896D21);

TEST(BindingProperty, FreshValueIsAnEmptyRootWithoutArena) {
    BindingProperty v;
    EXPECT_EQ(v.Kind(), BindingKind::Empty);
    EXPECT_TRUE(v.IsEmpty());
    EXPECT_EQ(v.Count(), 0u);
    EXPECT_FALSE(v.Truth());
    EXPECT_TRUE(v.OwnsArena());
    EXPECT_EQ(v.Arena(), nullptr);
    v.SetSigned(-3);  // scalars need no arena
    EXPECT_EQ(v.Arena(), nullptr);
    v.SetString("x");
    EXPECT_NE(v.Arena(), nullptr);
}

TEST(BindingProperty, AnEmptyStringNeedsNoArena) {
    BindingProperty v;
    v.SetString("");
    EXPECT_EQ(v.Kind(), BindingKind::String);
    EXPECT_EQ(v.Arena(), nullptr);
    v.SetSigned(1);  // releasing the shared empty string must not touch an arena
    v.SetString(std::string_view());
    BindingProperty copy = v;
    EXPECT_EQ(copy.AsString(), "");
    v.Reset();
    EXPECT_TRUE(v.IsEmpty());
}

TEST(BindingProperty, KindNames) {
    const char* expected[] = {"empty", "bool", "signed", "unsigned", "float",
                              "string", "blob", "enum", "collection", "structure"};
    for (uint32_t code = 0; code < 10; ++code) EXPECT_STREQ(BindingKindName(code), expected[code]);
    EXPECT_STREQ(BindingKindName(10), "");
    EXPECT_STREQ(BindingKindName(0x105), "string");  // only the low 8 bits count
}

TEST(BindingProperty, AccessorsReturnPayloadOnlyForTheirKind) {
    BindingProperty v;
    v.SetUnsigned(7);
    EXPECT_EQ(v.AsUnsigned(), 7u);
    EXPECT_EQ(v.AsSigned(-1), -1);  // no conversion here
    EXPECT_EQ(v.AsDouble(2.5), 2.5);
    EXPECT_EQ(v.Count(), 1u);
    v.SetString(std::string_view("a\0b", 3));
    EXPECT_EQ(v.Count(), 3u);
    EXPECT_EQ(v.AsString(), std::string_view("a\0b", 3));
    EXPECT_EQ(v.AsUnsigned(9), 9u);
    const uint8_t bytes[] = {1, 2, 3, 4};
    v.SetBlob(bytes, sizeof(bytes));
    EXPECT_EQ(v.Count(), 4u);
    EXPECT_EQ(v.AsBlob()[3], 4);
    v.SetEnum(5, &kSomeType);
    EXPECT_EQ(v.AsEnum().value, 5);
    EXPECT_EQ(v.AsEnum().type, &kSomeType);
    EXPECT_EQ(v.Count(), 1u);
    v.SetDouble(-0.0);
    EXPECT_TRUE(std::signbit(v.AsDouble(1.0)));
    EXPECT_EQ(v.AsEnum().value, 0);
    EXPECT_EQ(v.AsEnum().type, nullptr);
}

TEST(BindingProperty, TruthValues) {
    struct Case {
        const char* description;
        void (*set)(BindingProperty&);
        bool truth;
    } cases[] = {
        {"bool true", [](BindingProperty& v) { v.SetBool(true); }, true},
        {"signed 0", [](BindingProperty& v) { v.SetSigned(0); }, false},
        {"unsigned 3", [](BindingProperty& v) { v.SetUnsigned(3); }, true},
        {"float 0.0", [](BindingProperty& v) { v.SetDouble(0.0); }, false},
        {"float NaN", [](BindingProperty& v) { v.SetDouble(std::nan("")); }, true},
        {"text true", [](BindingProperty& v) { v.SetString("true"); }, true},
        {"text 1", [](BindingProperty& v) { v.SetString("1"); }, true},
        {"text TRUE", [](BindingProperty& v) { v.SetString("TRUE"); }, false},
        {"text yes", [](BindingProperty& v) { v.SetString("yes"); }, false},
        {"empty blob", [](BindingProperty& v) { v.SetBlob(nullptr, 0); }, false},
        {"enum 0", [](BindingProperty& v) { v.SetEnum(0, &kSomeType); }, false},
        {"enum -1", [](BindingProperty& v) { v.SetEnum(-1, &kSomeType); }, true},
        {"empty collection", [](BindingProperty& v) { v.MakeCollection(); }, false},
        {"collection of one empty", [](BindingProperty& v) { v.Element(0); }, true},
        {"empty structure", [](BindingProperty& v) { v.MakeStructure(); }, false},
        {"structure with a member", [](BindingProperty& v) { v.Member("a"); }, true},
    };
    for (const auto& c : cases) {
        BindingProperty v;
        c.set(v);
        EXPECT_EQ(v.Truth(), c.truth) << c.description;
    }
}

TEST(BindingProperty, ReadingAbsentEntriesYieldsTheSharedEmptyValue) {
    BindingProperty list;
    list.Element(2).SetSigned(1);
    EXPECT_EQ(&list.GetElement(3), &BindingProperty::EmptyValue());
    EXPECT_EQ(list.Count(), 3u);  // unchanged by the read
    BindingProperty scalar;
    scalar.SetSigned(4);
    EXPECT_TRUE(scalar.GetElement(0).IsEmpty());
    EXPECT_TRUE(scalar.GetMember("a").IsEmpty());
    EXPECT_EQ(scalar.Kind(), BindingKind::Signed);
    EXPECT_EQ(scalar.FindMember("a"), nullptr);
}

TEST(BindingProperty, WritingAnElementGrowsACollection) {
    BindingProperty v;
    v.Element(5).SetString("last");
    ASSERT_EQ(v.Kind(), BindingKind::Collection);
    ASSERT_EQ(v.Count(), 6u);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_TRUE(v.GetElement(i).IsEmpty()) << i;
    EXPECT_EQ(v.GetElement(5).AsString(), "last");
    EXPECT_FALSE(v.GetElement(5).OwnsArena());
    EXPECT_EQ(v.GetElement(5).Arena(), v.Arena());
    // Existing collections keep their elements when made a collection again.
    v.MakeCollection();
    EXPECT_EQ(v.Count(), 6u);
}

TEST(BindingProperty, MembersAreVisitedInByteOrderWhateverTheInsertionOrder) {
    BindingProperty v;
    v.Member("b").SetSigned(2);
    v.Member("a").SetSigned(1);
    v.Member("B").SetSigned(0);
    v.Member("\xC3\xA9").SetSigned(3);  // bytes above 0x7F sort last
    v.Member("ab").SetSigned(4);
    EXPECT_EQ(Walk(v), "{5 B: s0 /B a: s1 /a ab: s4 /ab b: s2 /b \xC3\xA9: s3 /\xC3\xA9 } ");
    // Each name once; a name is cut at its first NUL.
    v.Member(std::string_view("a\0zzz", 5)).SetSigned(9);
    EXPECT_EQ(v.Count(), 5u);
    EXPECT_EQ(v.GetMember("a").AsSigned(), 9);
}

TEST(BindingProperty, VisitorSeesEveryOperationInOrder) {
    BindingProperty v;
    v.Member("list").Element(1).SetBool(true);
    v.Member("list").Element(0).Member("x").SetDouble(1.5);
    const uint8_t bytes[] = {9, 9};
    v.Member("blob").SetBlob(bytes, 2);
    v.Member("e").SetEnum(4, &kSomeType);
    v.Member("n");
    EXPECT_EQ(Walk(v),
              "{4 blob: blob2 /blob e: enum4 /e list: [2 <0 {1 x: f1.500000 /x } 0> <1 true 1> ] /list n: empty /n } ");
    BindingProperty scalar;
    EXPECT_EQ(Walk(scalar), "empty ");
}

TEST(BindingProperty, SettersReleaseWhatWasThere) {
    static const uint8_t kByte = 1;
    const struct {
        const char* setter;
        void (*set)(BindingProperty&);
        std::size_t strings;  // held after it: what it stored
    } cases[] = {
        {"SetString", [](BindingProperty& v) { v.SetString("plain"); }, 1},
        {"SetBool", [](BindingProperty& v) { v.SetBool(true); }, 0},
        {"SetSigned", [](BindingProperty& v) { v.SetSigned(-1); }, 0},
        {"SetUnsigned", [](BindingProperty& v) { v.SetUnsigned(1); }, 0},
        {"SetDouble", [](BindingProperty& v) { v.SetDouble(0.5); }, 0},
        {"SetBlob", [](BindingProperty& v) { v.SetBlob(&kByte, 1); }, 0},
        {"SetEnum", [](BindingProperty& v) { v.SetEnum(2, nullptr); }, 0},
        {"MakeCollection", [](BindingProperty& v) { v.MakeCollection(); }, 0},
        {"MakeStructure", [](BindingProperty& v) { v.MakeCollection(); v.Element(0).SetString("x"); v.MakeStructure(); },
         0},
    };
    for (const auto& c : cases) {
        BindingProperty v;
        v.Member("a").SetString("member text");
        v.Member("b").Element(3).SetString("deep");
        ValueArena* arena = v.Arena();
        ASSERT_EQ(arena->Stats().internedStrings, 2u);  // a, b
        ASSERT_EQ(arena->Stats().looseStrings, 2u);     // the two texts
        c.set(v);
        EXPECT_EQ(arena->Stats().internedStrings + arena->Stats().looseStrings, c.strings) << c.setter;
    }
}

// With the heap exhausted a setter throws and loses nothing: the value keeps
// what it held, and the arena gets back what the setter took.
TEST(BindingProperty, ASetterTheHeapCannotServeChangesNothing) {
    BindingProperty v;
    v.SetString("kept");
    ValueArena* arena = v.Arena();
    const std::size_t blocks = arena->Stats().blocksInUse;
    MemoryHooks exhausted = CountingMemoryHooks();
    exhausted.allocate = [](std::size_t bytes, MemoryCounters* counters) -> void* {
        return bytes > 4096 ? nullptr : CountingMemoryHooks().allocate(bytes, counters);
    };
    InstallMemoryHooks(exhausted, &ModuleMemoryCounters());
    const std::vector<uint8_t> big(10000, 7);
    EXPECT_THROW(v.SetBlob(big.data(), big.size()), std::bad_alloc);
    InstallMemoryHooks(CountingMemoryHooks(), &ModuleMemoryCounters());
    EXPECT_EQ(v.AsString(), "kept");
    EXPECT_EQ(arena->Stats().blocksInUse, blocks);
}

TEST(BindingProperty, SettersMayTakeTheirContentFromInsideTheValue) {
    BindingProperty v;
    v.Member("inner").SetString("kept");
    v.SetString(v.GetMember("inner").AsString());
    EXPECT_EQ(v.AsString(), "kept");
    BindingProperty other;
    other.SetString("another tree's");
    v.SetStringFrom(other);
    EXPECT_NE(v.AsInterned(), other.AsInterned()) << "held in its own arena";
    EXPECT_EQ(v.AsString(), "another tree's");

    BindingProperty w;
    w.Member("x").Member("y").SetSigned(5);
    w = w.GetMember("x");  // a subtree copied over its own root
    EXPECT_EQ(w.GetMember("y").AsSigned(), 5);
    EXPECT_EQ(w.Count(), 1u);

    BindingProperty z;
    z.Member("a").Element(0).SetString("s");
    z.Member("a").Element(0) = z;  // a root copied into its own descendant
    EXPECT_EQ(z.GetMember("a").GetElement(0).GetMember("a").GetElement(0).AsString(), "s");
}

TEST(BindingProperty, CopyBetweenRootsLeavesTheSourceIntact) {
    BindingProperty source;
    source.Member("name").SetString("shared");
    source.Member("list").Element(1).SetUnsigned(8);
    BindingProperty target;
    target.Member("other").SetString("shared");
    target.Member("copy") = source;
    EXPECT_EQ(target.GetMember("copy"), source);
    EXPECT_EQ(source.GetMember("name").AsString(), "shared");
    EXPECT_EQ(source.GetMember("list").GetElement(1).AsUnsigned(), 8u);
    // Strings went into the target's arena; a copy inside one tree shares
    // the text.
    EXPECT_NE(target.GetMember("copy").GetMember("name").AsInterned(), source.GetMember("name").AsInterned());
    BindingProperty& again = target.Member("again");
    again = target.GetMember("other");
    EXPECT_EQ(target.GetMember("again").AsInterned(), target.GetMember("other").AsInterned());
    EXPECT_EQ(target.GetMember("other").AsInterned()->references, 2u);
    EXPECT_EQ(target.Arena()->Stats().looseStrings, 2u);

    BindingProperty constructed(source.GetMember("list"));
    EXPECT_TRUE(constructed.OwnsArena());
    EXPECT_EQ(constructed, source.GetMember("list"));
    BindingProperty self;
    self.SetString("s");
    self = *&self;
    EXPECT_EQ(self.AsString(), "s");
}

TEST(BindingProperty, MoveExchangesRootsAndCopiesChildren) {
    BindingProperty a;
    a.Member("x").SetSigned(1);
    ValueArena* arenaA = a.Arena();
    BindingProperty b;
    b.Element(0).SetSigned(2);
    ValueArena* arenaB = b.Arena();
    b = std::move(a);
    EXPECT_EQ(b.Arena(), arenaA);  // cheap exchange between roots
    EXPECT_EQ(b.GetMember("x").AsSigned(), 1);
    EXPECT_TRUE(a.IsEmpty());      // the source is reset afterwards
    EXPECT_EQ(a.Arena(), arenaB);

    BindingProperty holder;
    holder.Member("child").Member("y").SetString("moved");
    BindingProperty taken(std::move(holder.Member("child")));
    EXPECT_EQ(taken.GetMember("y").AsString(), "moved");
    EXPECT_TRUE(holder.GetMember("child").IsEmpty());
    EXPECT_NE(taken.Arena(), holder.Arena());

    BindingProperty root;
    root.SetString("into a child");
    holder.Member("slot") = std::move(root);
    EXPECT_EQ(holder.GetMember("slot").AsString(), "into a child");
    EXPECT_TRUE(root.IsEmpty());
}

TEST(BindingProperty, ReserveLimit) {
    BindingProperty v;
    v.Reserve(10);  // not a collection: nothing happens
    EXPECT_TRUE(v.IsEmpty());
    v.MakeCollection();
    v.Reserve(100);
    EXPECT_EQ(v.Count(), 0u);
    EXPECT_THROW(v.Reserve(0x10000000), std::length_error);
    EXPECT_NO_THROW(v.Reserve(0));
    EXPECT_THROW(v.Element(0x0FFFFFFF), std::length_error);
}

TEST(BindingProperty, EqualityComparesDeeply) {
    BindingProperty a, b;
    a.Member("n").SetDouble(std::nan(""));
    b.Member("n").SetDouble(std::nan(""));
    EXPECT_EQ(a, b);
    b.Member("m");
    EXPECT_FALSE(a == b);
    BindingProperty s, u;
    s.SetSigned(1);
    u.SetUnsigned(1);
    EXPECT_FALSE(s == u);  // kinds differ
}

// Builds a chain of nested collections and structures `depth` levels deep.
BindingProperty DeepTree(std::size_t depth) {
    BindingProperty root;
    BindingProperty* at = &root;
    for (std::size_t i = 0; i < depth; ++i) at = (i % 2 == 0) ? &at->Element(0) : &at->Member("k");
    at->SetString("bottom");
    return root;
}

TEST(BindingProperty, CopyResetAndVisitAtTheNestingLimit) {
    BindingProperty deep = DeepTree(kMaxNestingDepth);
    BindingProperty copy = deep;
    EXPECT_EQ(copy, deep);
    std::string walk = Walk(copy);
    EXPECT_NE(walk.find("'bottom'"), std::string::npos);
    EXPECT_EQ(walk.substr(walk.size() - 2), "] ");
    BindingProperty holder;
    holder.Member("sub") = deep;
    holder.Member("sub").Reset();
    EXPECT_EQ(holder.Arena()->Stats().internedStrings, 1u);  // only "sub" is left
    EXPECT_EQ(holder.Arena()->Stats().looseStrings, 0u);
    deep.Reset();
    EXPECT_TRUE(deep.IsEmpty());
}

TEST(BindingProperty, TreesFarDeeperThanTheLimitDoNotExhaustTheStack) {
    constexpr std::size_t kDepth = 200000;
    BindingProperty deep = DeepTree(kDepth);
    BindingProperty copy = deep;
    EXPECT_EQ(copy, deep);
    std::size_t opened = 0;
    struct Counter : BindingVisitor {
        std::size_t* opened;
        void BeginElement(std::size_t) override { ++*opened; }
        void BeginMember(std::string_view) override { ++*opened; }
    } counter;
    counter.opened = &opened;
    copy.Visit(counter);
    EXPECT_EQ(opened, kDepth);
    copy.Element(0).Reset();  // a subtree reset walks
    EXPECT_EQ(copy.Count(), 1u);
    EXPECT_TRUE(copy.GetElement(0).IsEmpty());
}

TEST(BindingResult, FirstFailureWinsAndIsAStructure) {
    BindingResult result;
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.Message(), "");
    result.value.SetSigned(3);
    result.Fail("first");
    result.Fail("second");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.Message(), "first");
    EXPECT_EQ(result.value.Kind(), BindingKind::Structure);
    EXPECT_EQ(result.value.Count(), 1u);
    result.Replace("replaced");
    EXPECT_EQ(result.Message(), "replaced");
    result.value.Member("error").SetSigned(1);  // not a string: no message
    EXPECT_EQ(result.Message(), "");
    result.Reset();
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.value.IsEmpty());
    result.value.SetString("from the value itself");
    result.Fail(result.value.AsString());
    EXPECT_EQ(result.Message(), "from the value itself");
}

}  // namespace
}  // namespace Vorn

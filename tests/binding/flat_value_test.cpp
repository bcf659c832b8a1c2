#include "binding/flat_value.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <new>

#include "binding/binding_limits.h"
#include "binding/builtin_types.h"
#include "support/memory_hooks.h"

namespace Vorn {
namespace {

// Every flat payload (and every value's arena) comes from the counting heap;
// once a test has released all it built, allocations and frees balance.
class FlatValueTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallMemoryHooks(CountingMemoryHooks(), &counters_);
        registry_.SetUp();
    }
    void TearDown() override { InstallMemoryHooks(CountingMemoryHooks(), &ModuleMemoryCounters()); }

    bool Balanced() const {
        return counters_.allocations.load() == counters_.frees.load() &&
               counters_.bytesAllocated.load() == counters_.bytesFreed.load();
    }

    MemoryCounters counters_;
    TypeRegistry registry_;
};

BindingProperty EveryKind() {
    BindingProperty v;
    v.Member("bool").SetBool(true);
    v.Member("signed").SetSigned(-7);
    v.Member("unsigned").SetUnsigned(UINT64_MAX);
    v.Member("float").SetDouble(2.5);
    v.Member("string").SetString("text");
    const uint8_t bytes[] = {0, 1, 0xFF};
    v.Member("blob").SetBlob(bytes, sizeof(bytes));
    v.Member("list").Element(1).Member("inner").SetString("deep");
    v.Member("empty");
    v.Member("structure").Member("z").SetSigned(1);
    return v;
}

TEST_F(FlatValueTest, EveryKindRoundTripsAndReleasesEverything) {
    {
        const BindingProperty original = EveryKind();
        BindingFlatValue flat{};
        ASSERT_TRUE(FlatFromValue(original, &registry_, &flat));
        EXPECT_EQ(flat.kind, kFlatStructure);
        EXPECT_EQ(flat.payload.structure.count, 9u);
        BindingProperty back;
        BindingFlatResult result{};
        EXPECT_TRUE(ValueFromFlat(flat, "<value>", back, &result));
        EXPECT_EQ(result.failed, 0);
        EXPECT_EQ(back, original);
        ReleaseFlatValue(&flat);
        const BindingFlatValue zero{};
        EXPECT_EQ(std::memcmp(&flat, &zero, sizeof(flat)), 0);  // released values are zeroed

        // Every setter releases what the value held.
        for (void (*set)(BindingFlatValue*) : {
                 +[](BindingFlatValue* v) { FlatSetBool(v, true); }, +[](BindingFlatValue* v) { FlatSetSigned(v, -1); },
                 +[](BindingFlatValue* v) { FlatSetUnsigned(v, 1); }, +[](BindingFlatValue* v) { FlatSetFloat(v, 1.5); },
                 +[](BindingFlatValue* v) { FlatSetText(v, "new"); }, +[](BindingFlatValue* v) { FlatSetBytes(v, "ab", 2); },
                 +[](BindingFlatValue* v) { FlatSetCollection(v, nullptr, 0); },
                 +[](BindingFlatValue* v) { FlatSetStructure(v, nullptr, 0); }}) {
            BindingFlatValue held{};
            FlatSetText(&held, "held");
            set(&held);
            ReleaseFlatValue(&held);
        }
    }
    EXPECT_TRUE(Balanced());
}

TEST_F(FlatValueTest, MembersComeInNameOrderWithOwnedNames) {
    {
        BindingProperty v;
        v.Member("b").SetSigned(2);
        v.Member("a").SetSigned(1);
        BindingFlatValue flat{};
        ASSERT_TRUE(FlatFromValue(v, nullptr, &flat));
        EXPECT_STREQ(flat.payload.structure.members[0].name, "a");
        EXPECT_EQ(flat.payload.structure.members[0].ownsName, 1);
        EXPECT_EQ(int64_t{LoadMemberValue(flat.payload.structure.members[1]).payload.i}, 2);  // copied: the 64-bit payload is only 4-aligned
        ReleaseFlatValue(&flat);

        // A name the heap cannot copy fails the value: no member goes out
        // with a null name, and what was made is released with it.
        MemoryHooks noTexts = CountingMemoryHooks();
        noTexts.duplicateText = [](const char*, MemoryCounters*) -> char* { return nullptr; };
        InstallMemoryHooks(noTexts, &counters_);
        BindingFlatValue unnamed{};
        EXPECT_THROW(FlatFromValue(v, nullptr, &unnamed), std::bad_alloc);
        InstallMemoryHooks(CountingMemoryHooks(), &counters_);
        ReleaseFlatValue(&unnamed);
    }
    EXPECT_TRUE(Balanced());
}

TEST_F(FlatValueTest, EnumsByNameWithARegistryAndByNumberWithout) {
    {
        BindingProperty v;
        v.SetEnum(3, &TypeIdOf<BindingAsyncState>());
        BindingFlatValue named{};
        EXPECT_TRUE(FlatFromValue(v, &registry_, &named));
        EXPECT_EQ(named.kind, kFlatOwnedString);
        EXPECT_STREQ(named.payload.string.text, "Cancelled");
        EXPECT_EQ(named.payload.string.length, 9u);
        BindingFlatValue number{};
        EXPECT_TRUE(FlatFromValue(v, nullptr, &number));
        EXPECT_EQ(number.kind, kFlatSigned);
        EXPECT_EQ(int64_t{number.payload.i}, 3);
        v.SetEnum(-9, &TypeIdOf<BindingAsyncState>());
        FlatFromValue(v, &registry_, &named);  // no such enumerator: the number, sign-extended
        EXPECT_EQ(named.kind, kFlatSigned);
        EXPECT_EQ(int64_t{named.payload.i}, -9);
        ReleaseFlatValue(&named);
        ReleaseFlatValue(&number);
    }
    EXPECT_TRUE(Balanced());
}

TEST_F(FlatValueTest, UnknownKindsFailWithThePath) {
    {
        BindingFlatValue items[2]{};
        FlatSetSigned(&items[0], 1);
        items[1].kind = 11;
        BindingFlatValue list{};
        list.kind = kFlatCollection;
        list.payload.collection.items = items;
        list.payload.collection.count = 2;
        BindingProperty out;
        BindingFlatResult result{};
        EXPECT_FALSE(ValueFromFlat(list, "body", out, &result));
        EXPECT_EQ(result.failed, 1);
        EXPECT_STREQ(result.message,
                     "Couldn't assign value to 'body' of type object because the input is of an incompatible type ''.");
        EXPECT_EQ(out.GetElement(0).AsSigned(), 1);  // what came before stays
        ReleaseFlatResult(&result);
        EXPECT_EQ(result.message, nullptr);
    }
    EXPECT_TRUE(Balanced());
}

TEST_F(FlatValueTest, BorrowedNamesAndPayloadsAreNotFreed) {
    {
        static const char kName[] = "borrowed";
        static const char kText[] = "also borrowed";
        auto* members = static_cast<BindingFlatMember*>(Allocate(2 * sizeof(BindingFlatMember)));
        std::memset(static_cast<void*>(members), 0, 2 * sizeof(BindingFlatMember));
        members[0].name = kName;
        BindingFlatValue borrowed{};
        borrowed.kind = kFlatBorrowedString;
        borrowed.payload.string.text = kText;
        StoreMemberValue(members[0], borrowed);
        members[1].name = DuplicateText("owned");
        members[1].ownsName = 1;
        BindingFlatValue copy{};
        FlatSetText(&copy, "copy");
        StoreMemberValue(members[1], copy);
        BindingFlatValue flat{};
        FlatSetStructure(&flat, members, 2);

        BindingProperty out;
        ASSERT_TRUE(ValueFromFlat(flat, "p", out, nullptr));
        EXPECT_EQ(out.GetMember("borrowed").AsString(), "also borrowed");
        EXPECT_EQ(out.GetMember("owned").AsString(), "copy");
        ReleaseFlatValue(&flat);  // frees the array, the owned name and text; not the static ones
    }
    EXPECT_TRUE(Balanced());
}

TEST_F(FlatValueTest, RepeatedNamesMergeContainersAndReplaceScalars) {
    BindingFlatMember members[3]{};
    BindingFlatValue first[1]{};
    FlatSetSigned(&first[0], 1);
    BindingFlatValue second[2]{};
    second[1].kind = kFlatBool;
    second[1].payload.boolean = 1;
    BindingFlatValue lists[2]{};
    lists[0].kind = kFlatCollection;
    lists[0].payload.collection = {first, 1};
    lists[1].kind = kFlatCollection;
    lists[1].payload.collection = {second, 2};
    BindingFlatValue number{};
    FlatSetFloat(&number, 1.5);
    members[0] = BindingFlatMember{"list", lists[0], 0};
    members[1] = BindingFlatMember{"list", lists[1], 0};
    members[2] = BindingFlatMember{"s", number, 0};
    BindingFlatValue flat{};
    flat.kind = kFlatStructure;
    flat.payload.structure = {members, 3};
    BindingProperty out;
    out.Member("s").SetString("replaced");
    ASSERT_TRUE(ValueFromFlat(flat, "p", out, nullptr));
    // Element 0 kept from the first list (the second's element 0 is empty), element 1 added.
    EXPECT_TRUE(out.GetMember("list").GetElement(0).IsEmpty());
    EXPECT_TRUE(out.GetMember("list").GetElement(1).AsBool());
    EXPECT_EQ(out.GetMember("s").AsDouble(), 1.5);
}

TEST_F(FlatValueTest, HostDataIsHandledSafely) {
    // Null text and array pointers read as empty.
    BindingFlatValue text{};
    text.kind = kFlatBorrowedString;
    BindingProperty out;
    ASSERT_TRUE(ValueFromFlat(text, "p", out, nullptr));
    EXPECT_EQ(out.Kind(), BindingKind::String);
    EXPECT_EQ(out.AsString(), "");
    BindingFlatValue list{};
    list.kind = kFlatCollection;
    list.payload.collection.count = 1000000;  // and no array
    ASSERT_TRUE(ValueFromFlat(list, "p", out, nullptr));
    EXPECT_EQ(out.Count(), 0u);
    BindingFlatMember nameless{nullptr, {}, 0};
    BindingFlatValue structure{};
    structure.kind = kFlatStructure;
    structure.payload.structure = {&nameless, 1};
    ASSERT_TRUE(ValueFromFlat(structure, "p", out, nullptr));
    EXPECT_NE(out.FindMember(""), nullptr);

    // A count beyond what a collection may hold fails instead of throwing.
    BindingFlatValue one{};
    BindingFlatValue huge{};
    huge.kind = kFlatCollection;
    huge.payload.collection = {&one, 0xF0000000u};
    BindingFlatResult result{};
    EXPECT_FALSE(ValueFromFlat(huge, "p", out, &result));
    EXPECT_STREQ(result.message, "Couldn't assign value to 'p' because a collection of 4026531840 elements is too large.");
    ReleaseFlatResult(&result);
    // So does a structure's, before a member past the array is read.
    BindingFlatValue wide{};
    wide.kind = kFlatStructure;
    wide.payload.structure = {&nameless, 0xFFFFFFFFu};
    EXPECT_FALSE(ValueFromFlat(wide, "p", out, &result));
    EXPECT_STREQ(result.message, "Couldn't assign value to 'p' because a structure of 4294967295 members is too large.");
    ReleaseFlatResult(&result);
}

TEST_F(FlatValueTest, NestingBeyondTheLimitFailsBothWays) {
    {
        // A chain of one-element collections, kMaxNestingDepth + 1 deep.
        std::vector<BindingFlatValue> chain(kMaxNestingDepth + 2);
        for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
            chain[i].kind = kFlatCollection;
            chain[i].payload.collection = {&chain[i + 1], 1};
        }
        FlatSetSigned(&chain.back(), 1);
        BindingProperty out;
        BindingFlatResult result{};
        EXPECT_FALSE(ValueFromFlat(chain[0], "deep", out, &result));
        EXPECT_STREQ(result.message, "Couldn't assign value to 'deep' because its nesting is deeper than 512 levels.");
        ReleaseFlatResult(&result);
        EXPECT_TRUE(ValueFromFlat(chain[1], "deep", out, nullptr));  // exactly at the limit

        // Values as deep as the limit go flat, one level deeper do not (what
        // was built is released all the same).
        for (const bool structures : {false, true}) {
            for (const std::size_t levels : {kMaxNestingDepth, kMaxNestingDepth + 1}) {
                BindingProperty deep;
                BindingProperty* at = &deep;
                for (std::size_t i = 0; i < levels; ++i) at = structures ? &at->Member("m") : &at->Element(0);
                BindingFlatValue flat{};
                EXPECT_EQ(FlatFromValue(deep, nullptr, &flat), levels == kMaxNestingDepth) << structures << levels;
                ReleaseFlatValue(&flat);
            }
        }
    }
    EXPECT_TRUE(Balanced());
}

// Flat values compared as a host reads them: what differs anywhere, and what
// reads the same though it is held differently.
TEST(FlatValuesEqual, EveryDifferenceAndWhatReadsTheSame) {
    auto scalar = [](int32_t kind, uint64_t bits) {
        BindingFlatValue v{};
        v.kind = kind;
        v.payload.u = bits;
        return v;
    };
    auto text = [](const char* t) {
        BindingFlatValue v{};
        v.kind = kFlatBorrowedString;
        v.payload.string.text = t;
        return v;
    };
    const uint8_t bytes[] = {1, 2, 3};
    const uint8_t other[] = {1, 2, 4};
    auto blob = [](const uint8_t* data, uint32_t length) {
        BindingFlatValue v{};
        v.kind = kFlatBorrowedBlob;
        v.payload.blob.data = data;
        v.payload.blob.length = length;
        return v;
    };
    BindingFlatValue items[2] = {scalar(kFlatSigned, 1), scalar(kFlatSigned, 2)};
    BindingFlatValue otherItems[2] = {scalar(kFlatSigned, 1), scalar(kFlatSigned, 3)};
    auto list = [](BindingFlatValue* at, uint32_t count) {
        BindingFlatValue v{};
        v.kind = kFlatCollection;
        v.payload.collection.items = at;
        v.payload.collection.count = count;
        return v;
    };
    auto member = [](const char* name, BindingFlatValue value, uint8_t owns) {
        BindingFlatMember m{};
        m.name = name;
        m.ownsName = owns;
        StoreMemberValue(m, value);
        return m;
    };
    BindingFlatMember ab[2] = {member("a", scalar(kFlatBool, 1), 0), member("b", text("x"), 0)};
    BindingFlatMember ba[2] = {member("b", text("x"), 0), member("a", scalar(kFlatBool, 1), 0)};
    BindingFlatMember abOwned[2] = {member("a", scalar(kFlatBool, 1), 1), member("b", text("x"), 0)};
    BindingFlatMember abOther[2] = {member("a", scalar(kFlatBool, 1), 0), member("b", text("y"), 0)};
    BindingFlatMember acNamed[2] = {member("a", scalar(kFlatBool, 1), 0), member("c", text("x"), 0)};
    auto structure = [](BindingFlatMember* at, uint32_t count) {
        BindingFlatValue v{};
        v.kind = kFlatStructure;
        v.payload.structure.members = at;
        v.payload.structure.count = count;
        return v;
    };
    const struct {
        const char* description;
        BindingFlatValue a;
        BindingFlatValue b;
        bool equal;
    } cases[] = {
        {"kinds differ", scalar(kFlatSigned, 1), scalar(kFlatUnsigned, 1), false},
        {"any non-zero byte is true", scalar(kFlatBool, 1), scalar(kFlatBool, 7), true},
        {"true and false", scalar(kFlatBool, 1), scalar(kFlatBool, 0), false},
        {"numbers bit for bit", scalar(kFlatFloat, 1), scalar(kFlatFloat, 2), false},
        {"a null text reads as empty", text(nullptr), text(""), true},
        {"texts", text("x"), text("y"), false},
        {"null bytes read as none", blob(nullptr, 3), blob(bytes, 0), true},
        {"byte counts", blob(bytes, 2), blob(bytes, 3), false},
        {"bytes", blob(bytes, 3), blob(other, 3), false},
        {"a single byte", blob(bytes + 2, 1), blob(other + 2, 1), false},
        {"the same list", list(items, 2), list(items, 2), true},
        {"element counts", list(items, 1), list(items, 2), false},
        {"a later element", list(items, 2), list(otherItems, 2), false},
        {"the first element", list(items + 1, 1), list(otherItems + 1, 1), false},
        {"a null array reads as none", list(nullptr, 4), list(items, 0), true},
        {"the same structure", structure(ab, 2), structure(ab, 2), true},
        {"member counts", structure(ab, 1), structure(ab, 2), false},
        {"member order", structure(ab, 2), structure(ba, 2), false},
        {"name ownership", structure(ab, 2), structure(abOwned, 2), false},
        {"a later member's name", structure(ab, 2), structure(acNamed, 2), false},
        {"a later member's value", structure(ab, 2), structure(abOther, 2), false},
        {"a null member array reads as none", structure(nullptr, 2), structure(ab, 0), true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FlatValuesEqual(c.a, c.b), c.equal) << c.description;
        EXPECT_EQ(FlatValuesEqual(c.b, c.a), c.equal) << c.description << ", turned round";
    }
}

TEST(FlatKindNames, AsPrinted) {
    const char* expected[] = {"", "bool", "signed", "unsigned", "float", "string", "string", "blob", "blob", "collection",
                              "structure", ""};
    for (int32_t kind = 0; kind <= 11; ++kind) EXPECT_STREQ(FlatKindName(kind), expected[kind]) << kind;
}

}  // namespace
}  // namespace Vorn

// A structure's members as a sorted array: large structures in any order,
// members added after a walk, and names remembered by position.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "binding/binding_property.h"

namespace Vorn {
namespace {

std::string NameOf(uint32_t i) {
    char name[16];
    std::snprintf(name, sizeof(name), "m%06u", i);
    return name;
}

// Every member in strictly ascending byte order, each holding the number its
// name was made from; the count of members.
std::size_t CheckOrderAndValues(const BindingProperty& v) {
    const BindingProperty::Members* members = v.StructureMembers();
    if (members == nullptr) return 0;
    std::string previous;
    bool first = true;
    for (const BindingMember member : *members) {
        const std::string name(member.first->View());
        EXPECT_TRUE(first || previous < name) << previous << " before " << name;
        EXPECT_EQ(NameOf(static_cast<uint32_t>(member.second.AsUnsigned())), name);
        previous = name;
        first = false;
    }
    return members->size();
}

struct Order {
    const char* description;
    uint32_t (*at)(uint32_t i, uint32_t count);
};

const Order kOrders[] = {
    {"ascending", [](uint32_t i, uint32_t) { return i; }},
    {"descending", [](uint32_t i, uint32_t count) { return count - 1 - i; }},
    {"scrambled", [](uint32_t i, uint32_t count) { return static_cast<uint32_t>((uint64_t{i} * 7919) % count); }},
};

TEST(StructureMembers, LargeStructuresKeepEachNameOnceInByteOrder) {
    constexpr uint32_t kCount = 120000;
    for (const Order& order : kOrders) {
        SCOPED_TRACE(order.description);
        BindingProperty v;
        for (uint32_t i = 0; i < kCount; ++i) {
            const uint32_t n = order.at(i, kCount);
            v.Member(NameOf(n)).SetUnsigned(n);
        }
        ASSERT_EQ(v.Count(), kCount);
        // Asking again finds the member, whatever the bookkeeping is by now.
        for (uint32_t i = 0; i < kCount; i += 997) {
            const uint32_t n = order.at(i, kCount);
            EXPECT_EQ(v.Member(NameOf(n)).AsUnsigned(), n);
        }
        EXPECT_EQ(v.Count(), kCount);
        EXPECT_EQ(v.Arena()->Stats().internedStrings, kCount);
        EXPECT_EQ(CheckOrderAndValues(v), kCount);
        // Added after a walk: in the middle, before the first, after the last.
        for (const char* name : {"m050000x", "a", "z"}) {
            EXPECT_EQ(v.FindMember(name), nullptr);
            v.Member(name).SetString(name);
        }
        v.Member("m050000x").SetUnsigned(50000);  // found again, not added
        EXPECT_EQ(v.Count(), kCount + 3);
        const BindingProperty::Members* members = v.StructureMembers();
        auto it = members->begin();
        EXPECT_EQ((*it).first->View(), "a");
        std::string previous;
        std::size_t seen = 0;
        for (const BindingMember member : *members) {
            EXPECT_LT(previous, std::string(member.first->View()));
            previous = std::string(member.first->View());
            ++seen;
        }
        EXPECT_EQ(previous, "z");
        EXPECT_EQ(seen, kCount + 3);
        EXPECT_EQ(v.GetMember("m050000x").AsUnsigned(), 50000u);
        EXPECT_EQ(v.GetMember(NameOf(kCount - 1)).AsUnsigned(), kCount - 1);
    }
}

TEST(StructureMembers, ResettingAMemberOfAnUnorderedStructureKeepsTheOthersFound) {
    BindingProperty v;
    for (uint32_t i = 0; i < 100; ++i) v.Member(NameOf(99 - i)).Member("inner").SetUnsigned(99 - i);
    ASSERT_NE(v.StructureMembers(), nullptr);  // makes the order
    v.Member(NameOf(40)).Reset();
    v.Member("extra").SetBool(true);
    EXPECT_EQ(v.Count(), 101u);
    for (uint32_t i = 0; i < 100; ++i) {
        if (i == 40) {
            EXPECT_TRUE(v.GetMember(NameOf(i)).IsEmpty());
        } else {
            EXPECT_EQ(v.GetMember(NameOf(i)).GetMember("inner").AsUnsigned(), i);
        }
    }
    v.Reset();
    EXPECT_EQ(v.Count(), 0u);
}

TEST(StructureMembers, RecordsOfOneShapeShareTheirNames) {
    BindingProperty list;
    for (int i = 0; i < 50; ++i) {
        BindingProperty& item = list.AppendElement();
        item.Member("id").SetSigned(i);
        item.Member("name").SetString("n" + std::to_string(i));
        // A record that leaves the shape halfway.
        item.Member(i % 7 == 0 ? "extra" : "score").SetDouble(i * 0.5);
    }
    // id, name, score, extra: each stored once; the fifty texts.
    EXPECT_EQ(list.Arena()->Stats().internedStrings, 4u);
    EXPECT_EQ(list.Arena()->Stats().looseStrings, 50u);
    const auto* first = list.GetElement(1).StructureMembers();
    const auto* second = list.GetElement(2).StructureMembers();
    EXPECT_EQ((*first->begin()).first, (*second->begin()).first);
    EXPECT_EQ(list.GetElement(7).GetMember("extra").AsDouble(), 3.5);
    EXPECT_TRUE(list.GetElement(7).GetMember("score").IsEmpty());
    EXPECT_EQ(list.GetElement(8).GetMember("score").AsDouble(), 4.0);
    // Each record holds its names: dropping all but the last leaves its own.
    for (std::size_t i = 0; i < 49; ++i) list.Element(i).Reset();
    EXPECT_EQ(list.Arena()->Stats().internedStrings, 3u);  // id, name, score
    EXPECT_EQ(list.Arena()->Stats().looseStrings, 1u);
    const BindingProperty& last = list.GetElement(49);
    EXPECT_EQ(last.GetMember("id").AsSigned(), 49);
    EXPECT_EQ(last.GetMember("name").AsString(), "n49");
    EXPECT_EQ((*last.StructureMembers()->begin()).first->references, 1u);
}

TEST(StructureMembers, ARememberedNameFreedAndItsNumberReusedIsNotMistaken) {
    BindingProperty root;
    root.Member("x").Member("alpha").SetBool(true);  // "alpha" is the name at position 0
    root.Member("x").Reset();                        // and is freed
    root.Member("y").SetString("other");             // which may take its number
    BindingProperty& z = root.Member("z");
    z.Member("alpha").SetSigned(1);
    EXPECT_EQ(root.GetMember("z").GetMember("alpha").AsSigned(), 1);
    EXPECT_EQ(root.GetMember("z").FindMember("other"), nullptr);
    // The same text at the same position again: found, and counted once more.
    BindingProperty& w = root.Member("w");
    w.Member("other").SetSigned(2);
    root.Member("y").Reset();  // the string's holder goes, the name stays
    EXPECT_EQ(root.GetMember("w").GetMember("other").AsSigned(), 2);
    const BindingMember named = *root.GetMember("w").StructureMembers()->begin();
    EXPECT_EQ(named.first->View(), "other");
    EXPECT_EQ(named.first->references, 1u);
}

TEST(StructureMembers, NamesAreCutAtTheirFirstNulAtAnyOffset) {
    const std::string text = std::string("abcdefghijklmnopqrst");
    for (std::size_t length : {1u, 7u, 8u, 9u, 16u, 17u, 20u}) {
        for (std::size_t nul = 0; nul <= length; ++nul) {
            std::string name = text.substr(0, length);
            if (nul < length) name[nul] = '\0';
            BindingProperty v;
            v.Member(name).SetSigned(1);
            const std::size_t kept = nul < length ? nul : length;
            ASSERT_EQ(v.Count(), 1u);
            EXPECT_EQ((*v.StructureMembers()->begin()).first->View(), text.substr(0, kept))
                << "length " << length << " NUL at " << nul;
        }
    }
}

}  // namespace
}  // namespace Vorn

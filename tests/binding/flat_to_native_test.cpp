// Host flat values read straight into records, and records written straight
// into flat values: the direct way is taken for what usually crosses, declines
// wherever a value in between would change the data or fail, and what it
// gives equals what the two steps through a value give.
#include "binding/flat_to_native.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "binding/binding_descriptor.h"
#include "binding/binding_limits.h"
#include "binding/flat_value.h"
#include "binding/native_to_flat.h"

namespace {

enum class Tone : int32_t { Low = 0, High = 1 };

struct Leaf {
    int32_t n = 0;
    std::string text;
    Tone tone = Tone::Low;
    bool operator==(const Leaf&) const = default;
};

struct Node {
    std::vector<Leaf> leaves;
    std::map<std::string, int32_t> counts;
    Vorn::BindingProperty extra;
    uint16_t small = 0;
    std::unordered_map<std::string, Tone> tones;
    Leaf first;  // left out when zero, as are note, small, weight and extra
    std::string note;
    double weight = 0.0;
    std::vector<uint8_t> bytes;
    std::map<std::string, Vorn::BindingProperty> named;
    bool operator==(const Node&) const = default;
};

}  // namespace

namespace Vorn {
template <>
struct BindingDescriptor<Tone> {
    static constexpr const char* kName = "Tone";
    static constexpr BindingEnumeratorSpec kEnumerators[] = {{"Low", 0}, {"High", 1}};
};
template <>
struct BindingDescriptor<Leaf> {
    static constexpr const char* kName = "Leaf";
    static constexpr auto kFields = std::make_tuple(BindingField("n", &Leaf::n, "", kFieldRequired),
                                                    BindingField("text", &Leaf::text), BindingField("tone", &Leaf::tone));
};
template <>
struct BindingDescriptor<Node> {
    static constexpr const char* kName = "Node";
    static constexpr auto kFields = std::make_tuple(
        BindingField("leaves", &Node::leaves), BindingField("counts", &Node::counts),
        BindingField("extra", &Node::extra, "", kFieldOmitZero), BindingField("small", &Node::small, "", kFieldRequired | kFieldOmitZero),
        BindingField("tones", &Node::tones), BindingField("first", &Node::first, "", kFieldOmitZero),
        BindingField("note", &Node::note, "", kFieldOmitZero), BindingField("weight", &Node::weight, "", kFieldOmitZero),
        BindingField("bytes", &Node::bytes), BindingField("named", &Node::named));
};
}  // namespace Vorn

namespace Vorn {
namespace {

// Host-style flat values whose arrays live as long as the builder.
class Flat {
public:
    BindingFlatValue Int(int64_t n) {
        BindingFlatValue v{};
        v.kind = kFlatSigned;
        v.payload.i = n;
        return v;
    }
    BindingFlatValue Float(double d) {
        BindingFlatValue v{};
        v.kind = kFlatFloat;
        v.payload.d = d;
        return v;
    }
    BindingFlatValue Bytes(const uint8_t* data, uint32_t length) {
        BindingFlatValue v{};
        v.kind = kFlatBorrowedBlob;
        v.payload.blob.data = data;
        v.payload.blob.length = length;
        return v;
    }
    BindingFlatValue Text(const char* text) {
        BindingFlatValue v{};
        v.kind = kFlatBorrowedString;
        v.payload.string.text = text;
        return v;
    }
    BindingFlatValue Kind(int32_t kind) {
        BindingFlatValue v{};
        v.kind = kind;
        return v;
    }
    BindingFlatValue List(std::vector<BindingFlatValue> items) {
        std::vector<BindingFlatValue>& kept = lists_.emplace_back(std::move(items));
        BindingFlatValue v{};
        v.kind = kFlatCollection;
        v.payload.collection.items = kept.data();
        v.payload.collection.count = static_cast<uint32_t>(kept.size());
        return v;
    }
    BindingFlatValue Struct(std::vector<std::pair<const char*, BindingFlatValue>> members) {
        std::vector<BindingFlatMember>& kept = structures_.emplace_back(members.size());
        for (std::size_t i = 0; i < members.size(); ++i) {
            kept[i].name = members[i].first;
            StoreMemberValue(kept[i], members[i].second);
        }
        BindingFlatValue v{};
        v.kind = kFlatStructure;
        v.payload.structure.members = kept.data();
        v.payload.structure.count = static_cast<uint32_t>(kept.size());
        return v;
    }
    // Collections (or structures) each holding the next, `depth` deep.
    BindingFlatValue Chain(std::size_t depth, bool structures = false) {
        BindingFlatValue v = structures ? Struct({}) : List({});
        for (std::size_t i = 1; i < depth; ++i) v = structures ? Struct({{"s", v}}) : List({v});
        return v;
    }

private:
    std::deque<std::vector<BindingFlatValue>> lists_;
    std::deque<std::vector<BindingFlatMember>> structures_;
};

TEST(FlatToNative, TakesTheDirectWayOnlyWhereTheValueGivesTheSame) {
    TypeRegistry registry;
    RegisterBindingType<Tone>(registry);
    RegisterBindingType<Leaf>(registry);
    RegisterBindingType<Node>(registry);
    Flat f;
    const uint8_t bytes[] = {0, 0xFF};
    auto leaf = [&f](int64_t n, const char* text, BindingFlatValue tone) {
        return f.Struct({{"tone", tone}, {"n", f.Int(n)}, {"text", f.Text(text)}});
    };
    BindingFlatValue noItems = f.Kind(kFlatCollection);
    noItems.payload.collection.count = 3;
    BindingFlatValue noMembers = f.Kind(kFlatStructure);
    noMembers.payload.structure.count = 2;
    BindingFlatValue claimsMore = f.Struct({{"small", f.Int(1)}});
    claimsMore.payload.structure.count = UINT32_MAX;
    const struct {
        const char* description;
        BindingFlatValue flat;
        bool direct;
    } cases[] = {
        {"every field, members in any order, enums by name and number",
         f.Struct({{"small", f.Int(7)}, {"weight", f.Float(2.5)}, {"bytes", f.Bytes(bytes, 2)},
                   {"leaves", f.List({leaf(1, "a", f.Text("High")), leaf(2, nullptr, f.Int(0)), f.Kind(kFlatEmpty)})},
                   {"extra", f.Struct({{"z", f.Int(1)}, {"a", f.List({f.Text("x")})}})},
                   {"counts", f.Struct({{"b", f.Int(2)}, {"a", f.Int(1)}})}}),
         true},
        {"unknown members of every kind, one named twice",
         f.Struct({{"x", f.Struct({{"y", f.List({f.Int(1)})}})}, {"x", f.Int(2)}, {nullptr, f.Text("t")},
                   {"small", f.Text("12")}}),
         true},
        {"a member whose name begins with a field's", f.Struct({{"small", f.Int(1)}, {"smaller", f.Int(70000)}}), true},
        {"arrays of no address read as empty whatever their count",
         f.Struct({{"small", f.Int(1)}, {"leaves", noItems}, {"extra", noMembers}}), true},
        {"an empty member reads as absent",
         f.Struct({{"small", f.Int(1)}, {"extra", f.Kind(kFlatEmpty)}, {"leaves", f.Kind(kFlatEmpty)}}), true},
        {"list records of another member order",
         f.Struct({{"small", f.Int(1)},
                   {"leaves", f.List({leaf(1, "a", f.Int(1)), f.Struct({{"text", f.Text("b")}, {"n", f.Int(2)}}),
                                      f.Struct({{"texts", f.Int(5)}, {"n", f.Int(3)}})})}}),
         true},
        {"as deep as the limit allows", f.Struct({{"small", f.Int(1)}, {"extra", f.Chain(kMaxNestingDepth - 1)}}), true},
        {"a field named twice", f.Struct({{"small", f.Int(1)}, {"small", f.Int(2)}}), false},
        {"a field named twice, the second empty", f.Struct({{"small", f.Int(1)}, {"small", f.Kind(kFlatEmpty)}}), false},
        {"a required field empty", f.Struct({{"small", f.Kind(kFlatEmpty)}}), false},
        {"a required field missing", f.Struct({{"extra", f.Int(1)}}), false},
        {"an unknown kind in an unknown member", f.Struct({{"small", f.Int(1)}, {"x", f.Kind(11)}}), false},
        {"one level deeper than the limit", f.Struct({{"small", f.Int(1)}, {"extra", f.Chain(kMaxNestingDepth)}}),
         false},
        {"an unknown member one level deeper than the limit",
         f.Struct({{"small", f.Int(1)}, {"x", f.Chain(kMaxNestingDepth)}}), false},
        {"an unknown member of structures one level deeper than the limit",
         f.Struct({{"small", f.Int(1)}, {"x", f.Chain(kMaxNestingDepth, true)}}), false},
        {"more members claimed than any array holds", claimsMore, false},
        {"a map key given twice", f.Struct({{"small", f.Int(1)}, {"counts", f.Struct({{"a", f.Int(1)}, {"a", f.Int(2)}})}}),
         false},
        {"a map's whole value as deep as the limit allows",
         f.Struct({{"small", f.Int(1)}, {"named", f.Struct({{"k", f.Chain(kMaxNestingDepth - 2)}})}}), true},
        {"a map's whole value one level deeper",
         f.Struct({{"small", f.Int(1)}, {"named", f.Struct({{"k", f.Chain(kMaxNestingDepth - 1)}})}}), false},
        {"an empty map entry before others",
         f.Struct({{"small", f.Int(1)}, {"counts", f.Struct({{"b", f.Int(2)}, {"a", f.Kind(kFlatEmpty)}})}}), false},
        {"a number out of range", f.Struct({{"small", f.Int(70000)}}), false},
        {"an enumerator that is not one", f.Struct({{"small", f.Int(1)}, {"leaves", f.List({leaf(1, "a", f.Text("Mid"))})}}),
         false},
        {"a list record without its first member, a required one",
         f.Struct({{"small", f.Int(1)}, {"leaves", f.List({f.Struct({{"text", f.Text("b")}})})}}), false},
        {"a list element that is no record", f.Struct({{"small", f.Int(1)}, {"leaves", f.List({f.Int(5)})}}), false},
        {"not a structure", f.List({}), false},
    };
    for (const auto& c : cases) {
        Node direct;
        EXPECT_EQ(FlatToNative(direct, c.flat, &registry), c.direct) << c.description;
        BindingProperty value;
        BindingFlatResult failure{};
        const bool read = ValueFromFlat(c.flat, "<value>", value, &failure);
        ReleaseFlatResult(&failure);
        Node twoSteps;
        BindingResult converted;
        if (read) ValueToNative(converted, twoSteps, value, "<value>", &registry);
        if (c.direct) {
            EXPECT_TRUE(read && converted.ok) << c.description;
            EXPECT_EQ(direct, twoSteps) << c.description;
        } else {
            EXPECT_EQ(direct, Node{}) << c.description << ": a declined record starts again";
        }
    }
    Node unregistered;
    EXPECT_FALSE(FlatToNative(unregistered, cases[0].flat, nullptr)) << "no registry describes the record";
    EXPECT_FALSE(FlatToNative(unregistered, cases[0].flat, &registry, kMaxNestingDepth)) << "the record too deep";
    BindingProperty whole;
    whole.Member("old").SetSigned(1);
    ASSERT_TRUE(FlatToObject(whole, f.Struct({{"new", f.Int(2)}}), 0));
    EXPECT_EQ(whole.FindMember("old"), nullptr) << "a whole value is replaced, not merged into";
}

// Records of more fields than the direct way keeps track of, and of two
// fields that are one member of a tree (one name up to a NUL), are left to
// the two steps both ways.
TEST(FlatToNative, WideRecordsAndTwinNamesTakeTheGeneralWay) {
    struct Wide {
        int32_t field[65] = {};
    };
    static constexpr TypeIdentifier kWide = MakeTypeIdentifier(0x57494445);
    static constexpr TypeIdentifier kTwin = MakeTypeIdentifier(0x5457494E);
    TypeRegistry registry;
    auto add = [&registry](TypeBuilder& builder, std::string_view name, uint32_t offset) {
        builder.AddMember(name, offset, TypeRefOf<int32_t>(&registry), &TypeIdOf<int32_t>(),
                          &MemberConversionOf<int32_t>::kOperations);
    };
    TypeBuilder wide = registry.BeginType("Wide", sizeof(Wide), &kWide, false);
    std::vector<std::string> names;
    for (uint32_t i = 0; i < 65; ++i) names.push_back("f" + std::to_string(i));
    for (uint32_t i = 0; i < 65; ++i) add(wide, names[i], static_cast<uint32_t>(i * sizeof(int32_t)));
    TypeBuilder twin = registry.BeginType("Twin", sizeof(Wide), &kTwin, false);
    add(twin, "a", 0);
    add(twin, std::string_view("a\0b", 3), sizeof(int32_t));
    Flat f;
    const BindingFlatValue one = f.Struct({{"a", f.Int(1)}, {"f64", f.Int(1)}});
    Wide native;
    for (const char* type : {"Wide", "Twin"}) {
        EXPECT_FALSE(FlatToStruct(&native, one, 0, registry.FindByName(type), &registry)) << type;
    }
    BindingFlatValue out{};
    EXPECT_FALSE(StructToFlat(&native, registry.FindByName("Twin"), &registry, &out, 0));
    EXPECT_FALSE(StructToFlat(&native, nullptr, &registry, &out, 0)) << "no description";
    EXPECT_EQ(out.kind, kFlatEmpty);
    // Written, a wide record keeps no count of its fields: the direct way.
    EXPECT_TRUE(StructToFlat(&native, registry.FindByName("Wide"), &registry, &out, 0));
    EXPECT_EQ(out.payload.structure.count, 65u);
    ReleaseFlatValue(&out);
    // A field of no name is found as any other, in either member order (a
    // member of no name reads as one named "").
    static constexpr TypeIdentifier kBlank = MakeTypeIdentifier(0x424C4E4B);
    TypeBuilder blank = registry.BeginType("Blank", sizeof(Wide), &kBlank, false);
    add(blank, "", 0);
    add(blank, "b", sizeof(int32_t));
    for (const BindingFlatValue& flat :
         {f.Struct({{"", f.Int(4)}, {"b", f.Int(5)}}), f.Struct({{"b", f.Int(5)}, {nullptr, f.Int(4)}})}) {
        Wide read;
        EXPECT_TRUE(FlatToStruct(&read, flat, 0, registry.FindByName("Blank"), &registry));
        EXPECT_EQ(read.field[0], 4);
        EXPECT_EQ(read.field[1], 5);
    }
}

TEST(NativeToFlat, WritesWhatTheValueWouldWrite) {
    TypeRegistry registry;
    RegisterBindingType<Tone>(registry);
    RegisterBindingType<Leaf>(registry);
    RegisterBindingType<Node>(registry);
    Node full;
    full.leaves = {Leaf{1, "a", Tone::High}, Leaf{}};
    full.counts = {{"b", 2}, {"a", 1}, {"\xC3\xA9", 3}};
    full.extra.Member("z").Element(2).SetString("deep");
    full.small = 9;
    full.tones = {{"x", Tone::High}, {"c", Tone::Low}, {"m", static_cast<Tone>(7)}};  // 7: no enumerator
    full.first = Leaf{0, "", Tone::High};
    full.note = std::string("cut\0here", 8);
    full.weight = -0.5;
    full.bytes = {1, 0, 2};
    full.named["k"].Element(1).SetSigned(3);
    // A whole value nested as deep as a record's member may be, and one deeper.
    Node deepest;
    Node tooDeep;
    BindingProperty* inner = &deepest.extra;
    for (std::size_t i = 1; i < kMaxNestingDepth; ++i) inner = &inner->Element(0);
    tooDeep.extra = deepest.extra;
    inner = &tooDeep.extra;
    while (inner->Kind() == BindingKind::Collection) inner = &inner->Element(0);
    inner->Element(0);
    Node keyWithNul;
    keyWithNul.counts = {{std::string("a\0b", 3), 1}, {"a", 2}};
    const struct {
        const char* description;
        Node native;
        const TypeRegistry* registry;
        bool direct;
    } cases[] = {
        {"every field zero: those left out when zero are", Node{}, &registry, true},
        {"every field, maps in name order, enums by name or number", full, &registry, true},
        {"a record no registry describes", Node{}, nullptr, false},
        {"map keys that are one up to a NUL", keyWithNul, &registry, false},
        {"a whole value as deep as a member may be", deepest, &registry, true},
        {"a whole value one level deeper", tooDeep, &registry, false},
    };
    for (const auto& c : cases) {
        BindingFlatValue direct{};
        EXPECT_EQ(NativeToFlat(c.native, c.registry, &direct), c.direct) << c.description;
        BindingResult value;
        NativeToValue(value, c.native, c.registry);
        BindingFlatValue twoSteps{};
        const bool written = value.ok && FlatFromValue(value.value, c.registry, &twoSteps);
        if (c.direct) {
            EXPECT_TRUE(written) << c.description;
            EXPECT_TRUE(FlatValuesEqual(direct, twoSteps)) << c.description;
        } else {
            EXPECT_EQ(direct.kind, kFlatEmpty) << c.description << ": a declined value is released";
        }
        ReleaseFlatValue(&direct);
        ReleaseFlatValue(&twoSteps);
    }
}

}  // namespace
}  // namespace Vorn

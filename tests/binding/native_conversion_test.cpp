#include "binding/native_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "binding/binding_descriptor.h"
#include "binding/builtin_types.h"
#include "decimal_comma_locale.h"

namespace Vorn {
namespace {

constexpr TypeIdentifier kUnknownEnum = MakeTypeIdentifier(0x0BADF00D);

// Input values built by a short description, so tables stay readable.
BindingProperty Text(std::string_view text) {
    BindingProperty v;
    v.SetString(text);
    return v;
}
BindingProperty Signed(int64_t n) {
    BindingProperty v;
    v.SetSigned(n);
    return v;
}
BindingProperty Unsigned(uint64_t n) {
    BindingProperty v;
    v.SetUnsigned(n);
    return v;
}
BindingProperty Float(double d) {
    BindingProperty v;
    v.SetDouble(d);
    return v;
}
BindingProperty Bool(bool b) {
    BindingProperty v;
    v.SetBool(b);
    return v;
}
BindingProperty Enum(int32_t n, const TypeIdentifier* type = &TypeIdOf<BindingAsyncState>()) {
    BindingProperty v;
    v.SetEnum(n, type);
    return v;
}
BindingProperty Collection() {
    BindingProperty v;
    v.MakeCollection();
    return v;
}
BindingProperty Structure() {
    BindingProperty v;
    v.Member("a").SetUnsigned(1);
    return v;
}

// Runs a typed conversion and reports "=value" on success or the message.
template <typename T>
std::string Convert(const BindingProperty& input, const TypeRegistry* registry = nullptr) {
    BindingResult result;
    T out{};
    ValueToNative(result, out, input, "x", registry);
    if (!result.ok) return std::string(result.Message());
    if constexpr (std::is_same_v<T, std::string>) {
        return "=" + out;
    } else if constexpr (std::is_same_v<T, bool>) {
        return out ? "=true" : "=false";
    } else if constexpr (std::is_enum_v<T>) {
        std::string text = "=";  // (GCC 12 warns falsely about "=" + std::to_string)
        text += std::to_string(static_cast<int32_t>(out));
        return text;
    } else {
        std::ostringstream text;
        text.precision(17);
        text << "=" << +out;
        return text.str();
    }
}

struct Case {
    const char* description;
    BindingProperty input;
    std::string expected;
};

TEST(ValueToNative, Bool) {
    const Case cases[] = {
        {"bool", Bool(true), "=true"},
        {"text true", Text("true"), "=true"},
        {"text 1", Text("1"), "=true"},
        {"text 0", Text("0"), "=false"},
        {"text false", Text("false"), "=false"},
        {"text TRUE", Text("TRUE"),
         "Value TRUE for 'x' of type bool is in an incorrect format. Options are \"true\", \"false\", \"1\", \"0\"."},
        {"signed 1", Signed(1), "Couldn't assign value to 'x' of type bool because the input is of an invalid type signed."},
        {"collection", Collection(),
         "Couldn't assign value to 'x' of type bool because the input is of an invalid type collection."},
        {"empty", BindingProperty(), "A value for 'x' is required."},
    };
    for (const auto& c : cases) EXPECT_EQ(Convert<bool>(c.input), c.expected) << c.description;
    for (const char* text : {"0", "false"}) {
        bool out = true;  // written over, not left as it was
        BindingResult result;
        ValueToNative(result, out, Text(text), "x", nullptr);
        EXPECT_FALSE(out) << text;
    }
}

TEST(ValueToNative, SignedIntegers) {
    const Case cases[] = {
        {"signed in range", Signed(-5), "=-5"},
        {"signed at max", Signed(2147483647), "=2147483647"},
        {"signed above int32", Signed(2147483648LL), "Value 2147483648 for 'x' of type int32 is out of range"},
        {"signed below int32", Signed(-2147483649LL), "Value -2147483649 for 'x' of type int32 is out of range"},
        {"unsigned at max", Unsigned(2147483647), "=2147483647"},
        {"unsigned above", Unsigned(1ULL << 40), "Value 1099511627776 for 'x' of type int32 is out of range"},
        {"float truncates toward zero", Float(3.9), "=3"},
        {"negative float truncates toward zero", Float(-3.9), "=-3"},
        {"float too large", Float(3e10), "Value 3e+10 for 'x' of type int32 is out of range"},
        {"NaN", Float(std::nan("")), "Value nan for 'x' of type int32 is out of range"},
        {"hex text", Text("0x10"), "=16"},
        {"octal text", Text("010"), "=8"},
        {"text with sign and space", Text(" -12"), "=-12"},
        {"text with trailing letters", Text("12abc"), "Value 12abc for 'x' of type int32 is in an incorrect format"},
        {"empty text", Text(""), "Value  for 'x' of type int32 is in an incorrect format"},
        {"bare 0x", Text("0x"), "Value 0x for 'x' of type int32 is in an incorrect format"},
        {"text out of range", Text("4294967296"), "Value 4294967296 for 'x' of type int32 is out of range"},
        {"text beyond 64 bits", Text("99999999999999999999"),
         "Value 99999999999999999999 for 'x' of type int32 is out of range"},
        {"enum number", Enum(4), "=4"},
        {"bool", Bool(true), "Couldn't assign value to 'x' of type int32 because the input is of an invalid type bool."},
        {"empty", BindingProperty(), "A value for 'x' is required."},
    };
    for (const auto& c : cases) EXPECT_EQ(Convert<int32_t>(c.input), c.expected) << c.description;
    EXPECT_EQ(Convert<int8_t>(Signed(-129)), "Value -129 for 'x' of type int8 is out of range");
    EXPECT_EQ(Convert<int16_t>(Text("-32768")), "=-32768");
}

TEST(ValueToNative, SixtyFourBitBoundsFromFloatsAreExact) {
    // 2^63 and 2^64 pass a "v <= max" test done in double precision, and
    // converting them would be undefined; they are out of range.
    EXPECT_EQ(Convert<int64_t>(Float(9223372036854775808.0)),
              "Value 9223372036854775808 for 'x' of type int64 is out of range");
    EXPECT_EQ(Convert<int64_t>(Float(-9223372036854775808.0)), "=-9223372036854775808");
    EXPECT_EQ(Convert<int64_t>(Float(9223372036854774784.0)), "=9223372036854774784");
    EXPECT_EQ(Convert<uint64_t>(Float(18446744073709551616.0)),
              "Value 18446744073709551616 for 'x' of type uint64 is out of range");
    EXPECT_EQ(Convert<uint64_t>(Float(18446744073709549568.0)), "=18446744073709549568");
    EXPECT_EQ(Convert<uint64_t>(Float(std::numeric_limits<double>::infinity())),
              "Value inf for 'x' of type uint64 is out of range");
    EXPECT_EQ(Convert<int64_t>(Text("-9223372036854775808")), "=-9223372036854775808");
    EXPECT_EQ(Convert<int64_t>(Text("9223372036854775808")),
              "Value 9223372036854775808 for 'x' of type int64 is out of range");
}

TEST(ValueToNative, UnsignedIntegers) {
    const Case cases[] = {
        {"unsigned", Unsigned(4294967295u), "=4294967295"},
        {"unsigned above", Unsigned(4294967296u), "Value 4294967296 for 'x' of type uint32 is out of range"},
        {"negative signed", Signed(-1), "Value -1 for 'x' of type uint32 is out of range"},
        {"negative text", Text("-1"), "Value -1 for 'x' of type uint32 is out of range"},
        {"negative zero text", Text("-0"), "Value -0 for 'x' of type uint32 is out of range"},
        {"hex text", Text("0xFFFFFFFF"), "=4294967295"},
        {"float", Float(7.99), "=7"},
        {"negative float", Float(-0.5), "Value -0.5 for 'x' of type uint32 is out of range"},
        {"negative enum", Enum(-1, &kUnknownEnum), "Value -1 for 'x' of type uint32 is out of range"},
        {"enum number", Enum(4), "=4"},
        {"text format", Text("7 "), "Value 7  for 'x' of type uint32 is in an incorrect format"},
        {"structure", Structure(),
         "Couldn't assign value to 'x' of type uint32 because the input is of an invalid type structure."},
        {"empty", BindingProperty(), "A value for 'x' is required."},
    };
    for (const auto& c : cases) EXPECT_EQ(Convert<uint32_t>(c.input), c.expected) << c.description;
    EXPECT_EQ(Convert<uint64_t>(Signed(-1)), "Value -1 for 'x' of type uint64 is out of range");
    EXPECT_EQ(Convert<uint64_t>(Text("18446744073709551615")), "=18446744073709551615");
    EXPECT_EQ(Convert<uint64_t>(Text("18446744073709551616")),
              "Value 18446744073709551616 for 'x' of type uint64 is out of range");
    BindingProperty blob;
    blob.SetBlob("ab", 2);
    EXPECT_EQ(Convert<uint64_t>(blob), "Couldn't assign value to 'x' of type uint64 because the input is of an invalid type blob.");
}

TEST(ValueToNative, Floating) {
    const Case cases[] = {
        {"float", Float(1.5), "=1.5"},
        {"signed", Signed(-3), "=-3"},
        {"largest unsigned", Unsigned(UINT64_MAX), "=1.8446744073709552e+19"},
        {"decimal text", Text("2.5e3"), "=2500"},
        {"text with plus", Text("+0.25"), "=0.25"},
        {"hex float text", Text("0x1p4"), "=16"},
        {"text overflow", Text("1e999"), "Value 1e999 for 'x' of type double is out of range"},
        {"text leftovers", Text("1.5x"), "Value 1.5x for 'x' of type double is in an incorrect format"},
        {"two signs", Text("+-1"), "Value +-1 for 'x' of type double is in an incorrect format"},
        {"enum", Enum(2), "=2"},
        {"bool", Bool(false), "Couldn't assign value to 'x' of type double because the input is of an invalid type bool."},
    };
    for (const auto& c : cases) EXPECT_EQ(Convert<double>(c.input), c.expected) << c.description;
    EXPECT_EQ(Convert<float>(Float(1e39)), "Value 1e+39 for 'x' of type float is out of range");
    EXPECT_EQ(Convert<float>(Signed(INT64_MIN)), "=-9.2233720368547758e+18");  // float bounds do not limit integers
}

TEST(ValueToNative, StringsAndEnumNames) {
    TypeRegistry registry;
    registry.SetUp();
    EXPECT_EQ(Convert<std::string>(Text("abc")), "=abc");
    EXPECT_EQ(Convert<std::string>(Enum(3), &registry), "=Cancelled");
    EXPECT_EQ(Convert<std::string>(Enum(9), &registry), "9 is not a valid enumeration value for 'x'.");
    EXPECT_EQ(Convert<std::string>(Enum(3)), "3 is not a valid enumeration value for 'x'.");  // no registry
    EXPECT_EQ(Convert<std::string>(Signed(1)), "Couldn't assign value to 'x' because the input is not a string.");
    EXPECT_EQ(Convert<std::string>(Bool(true)), "Couldn't assign value to 'x' because the input is not a string.");
    EXPECT_EQ(Convert<std::string>(BindingProperty()), "A value for 'x' is required.");
}

TEST(ValueToNative, Enumerations) {
    TypeRegistry registry;
    registry.SetUp();
    const Case cases[] = {
        {"name", Text("Running"), "=1"},
        {"other name", Text("Cancelling"), "=2"},
        {"names are case-sensitive", Text("running"),
         "running is not a valid BindingAsyncState enumeration value for 'x'."},
        {"number text", Text("4"), "=4"},
        {"number text not an enumerator", Text("7"), "7 is not a valid BindingAsyncState enumeration value for 'x'."},
        {"signed", Signed(5), "=5"},
        {"signed not an enumerator", Signed(6), "6 is not a valid BindingAsyncState enumeration value for 'x'."},
        {"unsigned beyond 32 bits is not cut down", Unsigned(4294967297ULL),
         "4294967297 is not a valid BindingAsyncState enumeration value for 'x'."},
        {"signed beyond 32 bits", Signed(-4294967295LL),
         "-4294967295 is not a valid BindingAsyncState enumeration value for 'x'."},
        {"enum of another type", Enum(3, &kUnknownEnum), "=3"},
        {"float", Float(1.0),
         "Couldn't assign value to 'x' of enum type because the input is of an invalid type float."},
        {"empty", BindingProperty(), "A value for 'x' is required."},
    };
    for (const auto& c : cases) EXPECT_EQ(Convert<BindingAsyncState>(c.input, &registry), c.expected) << c.description;
}

TEST(ValueToNative, ObjectsAndBlobs) {
    BindingProperty input;
    input.Member("k").SetString("v");
    BindingResult result;
    BindingProperty out;
    out.SetSigned(1);
    ValueToNative(result, out, input, "x", nullptr);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(out, input);
    ValueToNative(result, out, BindingProperty(), "x", nullptr);  // empty is copied too
    EXPECT_TRUE(out.IsEmpty());

    BindingResult failed;
    failed.Fail("earlier");
    out.SetSigned(1);
    ValueToNative(failed, out, input, "x", nullptr);
    EXPECT_TRUE(out.IsEmpty());  // reset even after an earlier failure

    std::vector<uint8_t> bytes;
    BindingResult b;
    ValueToNative(b, bytes, Text("AAEC/w=="), "x", nullptr);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0, 1, 2, 255}));
    BindingResult bad;
    ValueToNative(bad, bytes, Text("A*=="), "x", nullptr);
    EXPECT_EQ(bad.Message(), "Value A*== for 'x' of type blob is in an incorrect format");
}

// A record like a game queue: ints, strings, two enums, 64-bit times.
enum class Category : int32_t { None = 0, Custom = 1, PvP = 2 };
enum class Availability : int32_t { Available = 0, Disabled = 1 };
struct QueueRecord {
    int32_t id = 0;
    int32_t mapId = 0;
    std::string name;
    std::string gameMode;
    Category category = Category::None;
    uint64_t lastToggledOffTime = 0;
    uint64_t lastToggledOnTime = 0;
    Availability availability = Availability::Available;
    uint32_t hidden = 0;
};
struct Strict {
    int32_t must = 0;
    int32_t zeroOmitted = 0;
    std::vector<int32_t> list;
    std::unordered_map<std::string, std::string> labels;
};

}  // namespace

template <>
struct BindingDescriptor<Category> {
    static constexpr const char* kName = "Category";
    static constexpr BindingEnumeratorSpec kEnumerators[] = {{"None", 0}, {"Custom", 1}, {"PvP", 2}};
};
template <>
struct BindingDescriptor<Availability> {
    static constexpr const char* kName = "Availability";
    static constexpr BindingEnumeratorSpec kEnumerators[] = {{"Available", 0}, {"Disabled", 1}};
};
template <>
struct BindingDescriptor<QueueRecord> {
    using T = QueueRecord;
    static constexpr const char* kName = "QueueRecord";
    static constexpr auto kFields = std::make_tuple(
        BindingField("id", &T::id), BindingField("mapId", &T::mapId), BindingField("name", &T::name),
        BindingField("gameMode", &T::gameMode), BindingField("category", &T::category),
        BindingField("lastToggledOffTime", &T::lastToggledOffTime),
        BindingField("lastToggledOnTime", &T::lastToggledOnTime), BindingField("queueAvailability", &T::availability),
        BindingField("hidden", &T::hidden, "", kFieldOmitZero));
};
template <>
struct BindingDescriptor<Strict> {
    static constexpr const char* kName = "Strict";
    static constexpr auto kFields = std::make_tuple(
        BindingField("must", &Strict::must, "", kFieldRequired),
        BindingField("zeroOmitted", &Strict::zeroOmitted, "", kFieldOmitZero), BindingField("list", &Strict::list),
        BindingField("labels", &Strict::labels));
};

namespace {

class RecordConversion : public ::testing::Test {
protected:
    void SetUp() override {
        registry_.SetUp();
        RegisterBindingType<Category>(registry_);
        RegisterBindingType<Availability>(registry_);
        RegisterBindingType<QueueRecord>(registry_);
        RegisterBindingType<Strict>(registry_);
    }
    TypeRegistry registry_;
};

TEST_F(RecordConversion, RoundTripThroughAValue) {
    QueueRecord queue{450, 12, "Featured", "URF", Category::PvP, 1000, 2000, Availability::Disabled, 0};
    BindingResult result;
    NativeToValue(result, queue, &registry_);
    ASSERT_TRUE(result.ok) << result.Message();
    const BindingProperty& v = result.value;
    EXPECT_EQ(v.Count(), 8u);  // "hidden" holds 0 and is left out
    EXPECT_EQ(v.GetMember("id").AsSigned(), 450);
    EXPECT_EQ(v.GetMember("lastToggledOnTime").AsUnsigned(), 2000u);
    EXPECT_EQ(v.GetMember("category").AsEnum().value, 2);
    EXPECT_EQ(v.GetMember("category").AsEnum().type, &TypeIdOf<Category>());

    QueueRecord back;
    BindingResult in;
    ValueToNative(in, back, v, "<value>", &registry_);
    ASSERT_TRUE(in.ok) << in.Message();
    EXPECT_EQ(back.name, "Featured");
    EXPECT_EQ(back.category, Category::PvP);
    EXPECT_EQ(back.availability, Availability::Disabled);
    EXPECT_EQ(back.lastToggledOffTime, 1000u);

    queue.hidden = 3;
    BindingResult withHidden;
    NativeToValue(withHidden, queue, &registry_);
    EXPECT_EQ(withHidden.value.GetMember("hidden").AsUnsigned(), 3u);
}

TEST_F(RecordConversion, AbsentMembersKeepTheirValuesAndUnknownOnesAreIgnored) {
    // As few members as the record has fields, and many more, named to fall
    // before, between and after the fields' names: fields are matched by
    // one pass over both in the first case, searched in the second.
    for (int unknown : {1, 200}) {
        BindingProperty input;
        input.Member("name").SetString("Only a name");
        input.Member("category").SetString("Custom");
        input.Member("id");  // empty members count as absent
        for (int i = 0; i < unknown; ++i) {
            for (const char* prefix : {"", "gameModeX", "i", "name", "~"}) {
                input.Member(prefix + std::to_string(i)).SetSigned(i);
            }
        }
        QueueRecord queue;
        queue.id = 7;
        queue.availability = Availability::Disabled;
        BindingResult result;
        ValueToNative(result, queue, input, "<value>", &registry_);
        ASSERT_TRUE(result.ok) << result.Message();
        EXPECT_EQ(queue.id, 7) << unknown;
        EXPECT_EQ(queue.name, "Only a name") << unknown;
        EXPECT_EQ(queue.category, Category::Custom) << unknown;
        EXPECT_EQ(queue.availability, Availability::Disabled) << unknown;
        EXPECT_EQ(queue.mapId, 0) << unknown;
    }
}

TEST_F(RecordConversion, TheFirstFailingMemberIsReportedAndLaterOnesAreNotTouched) {
    BindingProperty input;
    input.Member("id").SetSigned(1);
    input.Member("mapId").SetString("twelve");
    input.Member("name").SetString("not reached");
    input.Member("category").SetString("Sideways");  // first by name, later as declared
    QueueRecord queue;
    BindingResult result;
    ValueToNative(result, queue, input, "<value>", &registry_);
    EXPECT_EQ(result.Message(), "Value twelve for 'mapId' of type int32 is in an incorrect format");
    EXPECT_EQ(queue.id, 1);       // converted before the failure
    EXPECT_EQ(queue.name, "");    // never reached
}

TEST_F(RecordConversion, StructureMessages) {
    QueueRecord queue;
    BindingResult empty;
    ValueToNative(empty, queue, BindingProperty(), "<value>", &registry_);
    EXPECT_EQ(empty.Message(), "A value for '<value>' is required.");
    BindingResult notStructure;
    ValueToNative(notStructure, queue, Collection(), "result", &registry_);
    EXPECT_EQ(notStructure.Message(),
              "Couldn't assign value to 'result' of type QueueRecord because the input not a structure.");
    BindingResult unregistered;
    ValueToNative(unregistered, queue, Collection(), "result", nullptr);
    EXPECT_EQ(unregistered.Message(),
              "Couldn't assign value to 'result' because the input is an unregistered structure or not a structure "
              "at all.");
    BindingResult toValue;
    NativeToValue(toValue, queue, nullptr);
    EXPECT_EQ(toValue.Message(), "Couldn't convert native value because it's an unregistered structure.");

    Strict strict;
    BindingProperty input;
    input.Member("list").MakeCollection();
    BindingResult missing;
    ValueToNative(missing, strict, input, "<value>", &registry_);
    EXPECT_EQ(missing.Message(),
              "Couldn't assign value to '<value>' of type Strict because the input structure doesn't have required "
              "field 'must'.");
}

TEST_F(RecordConversion, ListsReportTheirOwnPath) {
    BindingProperty input;
    input.Member("must").SetSigned(1);
    BindingProperty& list = input.Member("list");
    list.Element(0).SetSigned(10);
    list.Element(1).SetString("bad");
    list.Element(2).SetSigned(30);
    list.Element(3);
    Strict strict;
    strict.list = {9, 9, 9, 9, 9};
    BindingResult result;
    ValueToNative(result, strict, input, "<value>", &registry_);
    EXPECT_EQ(result.Message(), "Value bad for 'list' of type int32 is in an incorrect format");
    // Cleared and resized first; element 2 never converted.
    EXPECT_EQ(strict.list, (std::vector<int32_t>{10, 0, 0, 0}));

    BindingProperty good;
    good.Member("must").SetSigned(1);
    good.Member("list").Element(1).SetSigned(5);  // element 0 stays empty: default
    BindingResult ok;
    ValueToNative(ok, strict, good, "<value>", &registry_);
    EXPECT_TRUE(ok.ok);
    EXPECT_EQ(strict.list, (std::vector<int32_t>{0, 5}));

    BindingProperty notList;
    notList.Member("must").SetSigned(1);
    notList.Member("list").SetSigned(1);
    BindingResult wrong;
    ValueToNative(wrong, strict, notList, "<value>", &registry_);
    EXPECT_EQ(wrong.Message(), "Couldn't assign value to 'list' of type vector because the input not a collection.");
    EXPECT_TRUE(strict.list.empty());
}

TEST_F(RecordConversion, MapsConvertByNameAndClearFirst) {
    BindingProperty input;
    input.Member("must").SetSigned(1);
    input.Member("labels").Member("b").SetString("2");
    input.Member("labels").Member("a").SetString("1");
    input.Member("labels").Member("skip");
    Strict strict;
    strict.labels["old"] = "x";
    BindingResult result;
    ValueToNative(result, strict, input, "<value>", &registry_);
    ASSERT_TRUE(result.ok) << result.Message();
    EXPECT_EQ(strict.labels, (std::unordered_map<std::string, std::string>{{"a", "1"}, {"b", "2"}}));

    input.Member("labels").Member("c").SetSigned(3);
    BindingResult bad;
    ValueToNative(bad, strict, input, "<value>", &registry_);
    EXPECT_EQ(bad.Message(), "Couldn't assign value to 'labels' because the input is not a string.");

    input.Member("labels").SetString("flat");
    BindingResult wrong;
    ValueToNative(wrong, strict, input, "<value>", &registry_);
    EXPECT_EQ(wrong.Message(), "Couldn't assign value to 'labels' of type map because the input not a structure.");

    std::map<std::string, int32_t> native{{"z", 1}, {"a", 2}};
    BindingResult toValue;
    NativeToValue(toValue, native, &registry_);
    ASSERT_TRUE(toValue.ok);
    EXPECT_EQ(toValue.value.StructureMembers()->begin()->first->View(), "a");
}

TEST_F(RecordConversion, LaterStepsDoNothingOnceAResultHasFailed) {
    BindingResult result;
    result.Fail("first");
    int32_t n = 5;
    ValueToNative(result, n, Signed(9), "x", &registry_);
    EXPECT_EQ(n, 5);
    QueueRecord queue;
    NativeToValue(result, queue, &registry_);
    EXPECT_EQ(result.Message(), "first");
}

TEST(TextConversion, NumbersFromTextIgnoreTheLocaleAndKeepAllDigits) {
    Testing::DecimalCommaLocale locale;
    ASSERT_TRUE(locale.Active()) << "no decimal-comma locale is installed (scripts/setup generates de_DE.UTF-8)";
    BindingResult result;
    uint64_t u = 0;
    EXPECT_TRUE(TextToUnsigned(result, "9007199254740993", "yaml", UINT64_MAX, "uint64_t", u));
    EXPECT_EQ(u, 9007199254740993ULL);  // exact, not rounded through a double
    double d = 0;
    EXPECT_TRUE(TextToFloating(result, "0.5", "yaml", -1e308, 1e308, "double", d)) << locale.Name();
    EXPECT_EQ(d, 0.5);
    BindingResult comma;
    EXPECT_FALSE(TextToFloating(comma, "0,5", "yaml", -1e308, 1e308, "double", d));
    EXPECT_EQ(comma.Message(), "Value 0,5 for 'yaml' of type double is in an incorrect format") << locale.Name();
    int64_t s = 0;
    EXPECT_FALSE(TextToSigned(result, "-9223372036854775809", "yaml", INT64_MIN, INT64_MAX, "int64_t", s));
    EXPECT_EQ(result.Message(), "Value -9223372036854775809 for 'yaml' of type int64_t is out of range");
}

}  // namespace
}  // namespace Vorn

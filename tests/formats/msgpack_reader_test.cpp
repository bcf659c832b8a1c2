#include "formats/msgpack_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "formats/json_reader.h"
#include "formats/json_writer.h"
#include "file_text.h"
#include "recording_visitor.h"

namespace Vorn {
namespace {

using Bytes = std::vector<uint8_t>;
using Testing::Walk;

// One input with its expected tree (as a walk) or failure message, and the
// bytes the reader took.
struct Case {
    const char* description;
    Bytes input;
    std::string expected;
    std::size_t consumed;
};

BindingResult Read(const Bytes& input, std::size_t* consumed = nullptr) {
    return ReadMessagePack(std::string_view(reinterpret_cast<const char*>(input.data()), input.size()), consumed);
}

// Each case's walk when reading succeeds, else its message, which must then
// be all the result holds.
void Expect(bool ok, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        std::size_t consumed = 99;
        BindingResult result = Read(c.input, &consumed);
        EXPECT_EQ(result.ok, ok) << c.description << ": " << result.Message();
        EXPECT_EQ(Walk(result.value), ok ? c.expected : "{1 error: '" + c.expected + "' /error } ") << c.description;
        EXPECT_EQ(consumed, c.consumed) << c.description;
    }
}
void ExpectTrees(const std::vector<Case>& cases) { Expect(true, cases); }
void ExpectFailures(const std::vector<Case>& cases) { Expect(false, cases); }

// count times the header, then the innermost value.
Bytes Nested(std::size_t count, const Bytes& header, const Bytes& innermost) {
    Bytes out;
    for (std::size_t i = 0; i < count; ++i) out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), innermost.begin(), innermost.end());
    return out;
}

TEST(MessagePackReader, Scalars) {
    ExpectTrees({
        {"empty input", {}, "empty ", 0},
        {"positive fixint is signed", {0x05}, "s5 ", 1},
        {"largest positive fixint", {0x7F}, "s127 ", 1},
        {"negative fixint", {0xFF}, "s-1 ", 1},
        {"smallest negative fixint", {0xE0}, "s-32 ", 1},
        {"nil", {0xC0}, "empty ", 1},
        {"false", {0xC2}, "false ", 1},
        {"true", {0xC3}, "true ", 1},
        {"uint 8", {0xCC, 0xFF}, "u255 ", 2},
        {"uint 16 is big-endian", {0xCD, 0x01, 0x02}, "u258 ", 3},
        {"uint 32", {0xCE, 0x01, 0x02, 0x03, 0x04}, "u16909060 ", 5},
        {"uint 64 maximum", {0xCF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "u18446744073709551615 ", 9},
        {"int 8 sign-extends", {0xD0, 0xFF}, "s-1 ", 2},
        {"int 16 minimum", {0xD1, 0x80, 0x00}, "s-32768 ", 3},
        {"int 32 minimum", {0xD2, 0x80, 0x00, 0x00, 0x00}, "s-2147483648 ", 5},
        {"int 64 minimum", {0xD3, 0x80, 0, 0, 0, 0, 0, 0, 0}, "s-9223372036854775808 ", 9},
        {"float 32", {0xCA, 0x3F, 0xC0, 0x00, 0x00}, "f1.500000 ", 5},
        {"float 64", {0xCB, 0xC0, 0x04, 0, 0, 0, 0, 0, 0}, "f-2.500000 ", 9},
        {"fixstr", {0xA2, 0x68, 0x69}, "'hi' ", 3},
        {"empty fixstr", {0xA0}, "'' ", 1},
        {"str 8", {0xD9, 0x01, 0x7A}, "'z' ", 3},
        {"str 16", {0xDA, 0x00, 0x01, 0x7A}, "'z' ", 4},
        {"str 32", {0xDB, 0x00, 0x00, 0x00, 0x01, 0x7A}, "'z' ", 6},
        {"bin 8", {0xC4, 0x02, 0x00, 0xFF}, "blob2 ", 4},
        {"bin 16", {0xC5, 0x00, 0x00}, "blob0 ", 3},
        {"bin 32", {0xC6, 0x00, 0x00, 0x00, 0x01, 0x07}, "blob1 ", 6},
    });
}

TEST(MessagePackReader, NumbersAndTextsKeepTheirExactContent) {
    // float 32 is widened exactly, not rounded through text: the single
    // nearest to 0.1 is 0.100000001490116119384765625, not 0.1.
    BindingResult f = Read({0xCA, 0x3D, 0xCC, 0xCC, 0xCD});
    EXPECT_EQ(f.value.AsDouble(), 0.100000001490116119384765625);
    // Texts are taken as they are: embedded NUL, bytes that are not UTF-8.
    BindingResult s = Read({0xA4, 0x61, 0x00, 0xFF, 0x62});
    EXPECT_EQ(s.value.AsString(), std::string_view("a\0\xFF" "b", 4));
    BindingResult b = Read({0xC4, 0x03, 0x00, 0x80, 0xFF});
    EXPECT_EQ(Bytes(b.value.AsBlob().begin(), b.value.AsBlob().end()), Bytes({0x00, 0x80, 0xFF}));
}

TEST(MessagePackReader, Containers) {
    ExpectTrees({
        {"fixmap", {0x81, 0xA1, 0x61, 0xC3}, "{1 a: true /a } ", 4},
        {"members in byte order", {0x82, 0xA1, 0x62, 0x02, 0xA1, 0x61, 0x01}, "{2 a: s1 /a b: s2 /b } ", 7},
        {"str 8, 16 and 32 keys",
         {0x83, 0xD9, 0x01, 0x61, 0x01, 0xDA, 0x00, 0x01, 0x62, 0x02, 0xDB, 0, 0, 0, 0x01, 0x63, 0x03},
         "{3 a: s1 /a b: s2 /b c: s3 /c } ", 17},
        {"nil member stays empty", {0x81, 0xA1, 0x61, 0xC0}, "{1 a: empty /a } ", 4},
        {"fixarray with nil", {0x92, 0xC0, 0x01}, "[2 <0 empty 0> <1 s1 1> ] ", 3},
        {"empty map and array", {0x92, 0x80, 0x90}, "[2 <0 {0 } 0> <1 [0 ] 1> ] ", 3},
        {"array 16", {0xDC, 0x00, 0x01, 0x01}, "[1 <0 s1 0> ] ", 4},
        {"array 32", {0xDD, 0x00, 0x00, 0x00, 0x01, 0x01}, "[1 <0 s1 0> ] ", 6},
        {"map 16", {0xDE, 0x00, 0x01, 0xA0, 0x01}, "{1 : s1 / } ", 5},
        {"map 32", {0xDF, 0x00, 0x00, 0x00, 0x01, 0xA0, 0x01}, "{1 : s1 / } ", 7},
        {"nested", {0x81, 0xA1, 0x6C, 0x92, 0x81, 0xA1, 0x78, 0x01, 0x90},
         "{1 l: [2 <0 {1 x: s1 /x } 0> <1 [0 ] 1> ] /l } ", 9},
    });
}

TEST(MessagePackReader, InputEndingInsideAContainerKeepsWhatWasRead) {
    ExpectTrees({
        {"array of 2 with 1 element", {0x92, 0x01}, "[1 <0 s1 0> ] ", 2},
        {"array header only", {0x93}, "[0 ] ", 1},
        {"map cut after a key", {0x82, 0xA1, 0x61, 0x01, 0xA1, 0x62}, "{1 a: s1 /a } ", 6},
        {"nested cut", {0x92, 0x91}, "[1 <0 [0 ] 0> ] ", 2},
    });
}

TEST(MessagePackReader, OnlyTheFirstValueIsRead) {
    ExpectTrees({
        {"scalar then more", {0x01, 0x02}, "s1 ", 1},
        {"closed array then more", {0x91, 0x90, 0x01}, "[1 <0 [0 ] 0> ] ", 2},
        {"string then garbage", {0xA1, 0x61, 0xC1}, "'a' ", 2},
    });
    std::size_t unused;
    EXPECT_TRUE(ReadMessagePack({}, &unused).ok);
    EXPECT_EQ(Read({0x01}, nullptr).value.AsSigned(), 1);  // consumed is optional
}

TEST(MessagePackReader, Failures) {
    ExpectFailures({
        {"never-used byte", {0xC1}, "Invalid MessagePack data at position 1.", 1},
        {"ext 8", {0xC7, 0x01, 0x01, 0x00}, "Invalid MessagePack data at position 1.", 1},
        {"fixext 16 inside an array", {0x92, 0x01, 0xD8}, "Invalid MessagePack data at position 3.", 3},
        {"integer key", {0x81, 0x01, 0x02}, "Invalid MessagePack data at position 2. Map keys must be strings.", 2},
        {"nil key", {0x82, 0xA0, 0x01, 0xC0}, "Invalid MessagePack data at position 4. Map keys must be strings.", 4},
        {"map as key", {0x81, 0x80}, "Invalid MessagePack data at position 2. Map keys must be strings.", 2},
        {"uint 8", {0xCC}, "Invalid MessagePack data. 8-bit integer value at position 1 is truncated.", 1},
        {"str 8 key length", {0x81, 0xD9}, "Invalid MessagePack data. 8-bit integer value at position 2 is truncated.", 2},
        {"int 16", {0xD1, 0x01}, "Invalid MessagePack data. 16-bit integer value at position 1 is truncated.", 1},
        {"array 16 count", {0x91, 0xDC, 0x00}, "Invalid MessagePack data. 16-bit integer value at position 2 is truncated.", 2},
        {"float 32", {0xCA, 0, 0, 0}, "Invalid MessagePack data. 32-bit integer value at position 1 is truncated.", 1},
        {"map 32 count", {0xDF, 0, 0}, "Invalid MessagePack data. 32-bit integer value at position 1 is truncated.", 1},
        {"bin 32 length", {0xC6}, "Invalid MessagePack data. 32-bit integer value at position 1 is truncated.", 1},
        {"float 64", {0xCB, 0, 0, 0, 0, 0, 0, 0}, "Invalid MessagePack data. 64-bit integer value at position 1 is truncated.", 1},
        {"fixstr", {0xA3, 0x61, 0x62}, "Invalid MessagePack data. String of size 3 at position 1 is truncated.", 1},
        {"str 16", {0xDA, 0x00, 0x10}, "Invalid MessagePack data. String of size 16 at position 3 is truncated.", 3},
        {"str 32 of 4 GiB", {0xDB, 0xFF, 0xFF, 0xFF, 0xFF, 0x61},
         "Invalid MessagePack data. String of size 4294967295 at position 5 is truncated.", 5},
        {"key body", {0x81, 0xA2, 0x61}, "Invalid MessagePack data. String of size 2 at position 2 is truncated.", 2},
        {"bin 8", {0xC4, 0x03, 0x01}, "Invalid MessagePack data. Raw bytes of size 3 at position 2 are truncated.", 2},
        {"bin 32 of 4 GiB", {0xC6, 0xFF, 0xFF, 0xFF, 0xFF},
         "Invalid MessagePack data. Raw bytes of size 4294967295 at position 5 are truncated.", 5},
    });
}

TEST(MessagePackReader, NestingDeeperThanTheLimitFailsWhereItHappens) {
    BindingResult deepest = Read(Nested(512, {0x91}, {0x07}));
    ASSERT_TRUE(deepest.ok) << deepest.Message();
    const BindingProperty* v = &deepest.value;
    for (int level = 0; level < 512; ++level) v = &v->GetElement(0);
    EXPECT_EQ(v->AsSigned(), 7);

    ExpectFailures({
        {"one array too many", Nested(513, {0x91}, {0x07}),
         "Invalid MessagePack data at position 513. Nesting is deeper than 512 levels.", 513},
        {"an empty array is a level too", Nested(512, {0x91}, {0x90}),
         "Invalid MessagePack data at position 513. Nesting is deeper than 512 levels.", 513},
        {"maps", Nested(600, {0x81, 0xA1, 0x6B}, {0x01}),
         "Invalid MessagePack data at position 1537. Nesting is deeper than 512 levels.", 1537},
        {"a million arrays", Bytes(1000000, 0x91),
         "Invalid MessagePack data at position 513. Nesting is deeper than 512 levels.", 513},
    });
}

TEST(MessagePackReader, Map32CountsKeysAndValuesIn64Bits) {
    // 2^31 entries are 2^32 items: wrapped to 32 bits the map would close at
    // once and its key be read as the array's next element.
    ExpectTrees({
        {"2^31 entries", {0x92, 0xDF, 0x80, 0x00, 0x00, 0x00, 0xA1, 0x61, 0x01},
         "[1 <0 {1 a: s1 /a } 0> ] ", 9},
        {"2^32-1 entries", {0xDF, 0xFF, 0xFF, 0xFF, 0xFF, 0xA1, 0x61, 0x01}, "{1 a: s1 /a } ", 8},
    });
}

TEST(MessagePackReader, DeclaredCountsReserveNoMoreThanTheInputCanFill) {
    // 4 billion elements declared, two present: the arena holds no large block.
    BindingResult huge = Read({0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x02});
    ASSERT_TRUE(huge.ok) << huge.Message();
    EXPECT_EQ(huge.value.Count(), 2u);
    EXPECT_EQ(huge.value.Arena()->Stats().heapBlocks, 0u);
    EXPECT_EQ(huge.value.Arena()->Stats().pagesHeld, 0u);

    // Nested false counts share one budget: the bytes left, less the items
    // the open containers still wait for. Only the outermost reserves.
    BindingResult nested = Read(Nested(300, {0xDD, 0x0F, 0xFF, 0xFF, 0xFF}, {}));
    ASSERT_TRUE(nested.ok) << nested.Message();
    EXPECT_LE(nested.value.Arena()->Stats().heapBlocks, 1u);
}

TEST(MessagePackReader, RepeatedKeysReplaceTheEarlierValue) {
    ExpectTrees({
        {"scalar over scalar", {0x82, 0xA1, 0x61, 0x01, 0xA1, 0x61, 0x02}, "{1 a: s2 /a } ", 7},
        {"nil keeps the earlier value", {0x82, 0xA1, 0x61, 0x01, 0xA1, 0x61, 0xC0}, "{1 a: s1 /a } ", 7},
        {"nil keeps an earlier array", {0x82, 0xA1, 0x61, 0x91, 0x01, 0xA1, 0x61, 0xC0}, "{1 a: [1 <0 s1 0> ] /a } ", 8},
        {"scalar over map", {0x82, 0xA1, 0x61, 0x81, 0xA1, 0x62, 0x01, 0xA1, 0x61, 0x02}, "{1 a: s2 /a } ", 10},
        {"string over empty array", {0x82, 0xA1, 0x61, 0x90, 0xA1, 0x61, 0xA1, 0x78}, "{1 a: 'x' /a } ", 8},
        {"array over longer array", {0x82, 0xA1, 0x61, 0x93, 0x01, 0x02, 0x03, 0xA1, 0x61, 0x91, 0x04},
         "{1 a: [1 <0 s4 0> ] /a } ", 11},
        {"map over map is not merged", {0x82, 0xA1, 0x61, 0x81, 0xA1, 0x62, 0x01, 0xA1, 0x61, 0x81, 0xA1, 0x63, 0x02},
         "{1 a: {1 c: s2 /c } /a } ", 13},
        {"members after the replaced one", {0x83, 0xA1, 0x61, 0x91, 0x01, 0xA1, 0x61, 0x80, 0xA1, 0x62, 0x02},
         "{2 a: {0 } /a b: s2 /b } ", 11},
    });
}

// A name freed by a replaced value may have its number taken by a string
// holding a NUL; a later object of the remembered shape must still cut its
// key at the NUL rather than take that string as its name.
TEST(MessagePackReader, KeysAreCutAtNulEvenWhereAShapeNameWasFreed) {
    const Bytes input = {0x85, 0xA1, 'k', 0x81, 0xA1, 'n', 0x01,   // k: {n: 1}
                         0xA1, 's', 0xC0,                          // s: nil
                         0xA1, 'k', 0x00,                          // k: 0 (n is freed)
                         0xA1, 's', 0xA2, 'n', 0x00,               // s: "n\0", which takes n's number
                         0xA1, 'k', 0x81, 0xA2, 'n', 0x00, 0x02};  // k: {"n\0": 2}
    BindingResult result = Read(input);
    ASSERT_TRUE(result.ok) << result.Message();
    const BindingProperty::Members* k = result.value.GetMember("k").StructureMembers();
    ASSERT_NE(k, nullptr);
    ASSERT_EQ(k->size(), 1u);
    EXPECT_EQ(k->begin()->first->View(), "n");
    EXPECT_EQ(k->begin()->second.AsSigned(), 2);
    EXPECT_EQ(result.value.GetMember("s").AsString(), std::string_view("n\0", 2));
}

TEST(MessagePackReader, LooksLikeMessagePackOnlyForMapsAndArrays) {
    struct {
        uint8_t first;
        bool expected;
    } cases[] = {{0x80, true}, {0x8F, true}, {0x90, true}, {0x9F, true}, {0xDC, true}, {0xDF, true},
                 {0x7B, false}, {0x7F, false}, {0xA0, false}, {0xC0, false}, {0xDB, false}, {0xE0, false}};
    for (const auto& c : cases) EXPECT_EQ(LooksLikeMessagePack(std::string_view(reinterpret_cast<const char*>(&c.first), 1)), c.expected) << int(c.first);
    EXPECT_FALSE(LooksLikeMessagePack(std::string_view("\x80", 0)));
    EXPECT_FALSE(LooksLikeMessagePack({}));
}

TEST(MessagePackReader, SharedDocumentsReadAsTheirJsonTwins) {
    for (const char* name : {"citm_catalog", "twitter"}) {
        const std::string packed = Testing::ReadFileText(std::string(VORN_TEST_DATA) + "/" + name + ".msgpack");
        const std::string json = Testing::ReadFileText(std::string(VORN_TEST_DATA) + "/" + name + ".json");
        ASSERT_FALSE(packed.empty() || json.empty()) << "test documents not found in " << VORN_TEST_DATA;
        std::size_t consumed = 0;
        BindingResult fromPacked = ReadMessagePack(packed, &consumed);
        EXPECT_EQ(consumed, packed.size()) << name;
        BindingResult fromJson = DeserializeJson(json.c_str());
        ASSERT_TRUE(fromPacked.ok && fromJson.ok) << name << ": " << fromPacked.Message() << fromJson.Message();
        // Compared as text: integers are signed here and unsigned from JSON.
        EXPECT_TRUE(SerializeJson(fromPacked.value, nullptr) == SerializeJson(fromJson.value, nullptr))
            << name;
    }
}

TEST(MessagePackReader, EveryPrefixOfADocumentReadsOrFailsAsTruncated) {
    const Bytes document = {0x84, 0xA1, 0x61, 0xDC, 0x00, 0x03, 0xCB, 0x40, 0x09, 0x21, 0xFB, 0x54, 0x44, 0x2D, 0x18,
                            0xD2, 0xFF, 0xFF, 0xFF, 0xFF, 0xC0, 0xA1, 0x62, 0xC4, 0x02, 0x01, 0x02, 0xA1, 0x63, 0x81,
                            0xD9, 0x03, 0x6B, 0x65, 0x79, 0xDA, 0x00, 0x02, 0x6F, 0x6B, 0xA1, 0x64, 0xCF, 0, 0, 0, 0,
                            0, 0, 0, 0x2A};
    std::size_t whole;
    ASSERT_TRUE(Read(document, &whole).ok);
    ASSERT_EQ(whole, document.size());
    for (std::size_t length = 0; length <= document.size(); ++length) {
        const Bytes prefix(document.begin(), document.begin() + length);
        std::size_t consumed;
        BindingResult result = Read(prefix, &consumed);
        EXPECT_LE(consumed, length);
        if (!result.ok) {
            EXPECT_NE(result.Message().find("truncated."), std::string_view::npos) << length;
        }
    }
}

TEST(MessagePackReader, RandomBytesNeverCrash) {
    std::mt19937 generator(20261208);
    // Mostly header bytes, so that inputs nest, declare counts and lengths.
    const uint8_t favourites[] = {0x81, 0x91, 0xA1, 0xC0, 0xC4, 0xD9, 0xDC, 0xDD, 0xDE, 0xDF, 0xDB, 0xFF};
    for (int round = 0; round < 4000; ++round) {
        Bytes input(generator() % 48);
        for (uint8_t& byte : input) {
            byte = generator() % 2 ? favourites[generator() % sizeof(favourites)] : static_cast<uint8_t>(generator());
        }
        std::size_t consumed;
        BindingResult result = Read(input, &consumed);
        ASSERT_LE(consumed, input.size());
        if (!result.ok) {
            ASSERT_EQ(result.Message().rfind("Invalid MessagePack data", 0), 0u) << result.Message();
        }
    }
}

}  // namespace
}  // namespace Vorn

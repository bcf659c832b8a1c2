#include "formats/json_writer.h"

#include <gtest/gtest.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cmath>
#include <limits>
#include <new>
#include <string>

#include "binding/builtin_types.h"
#include "formats/json_reader.h"
#include "file_text.h"
#include "support/memory_hooks.h"

namespace Vorn {
namespace {

std::string Compact(const BindingProperty& value, const TypeRegistry* registry = nullptr) {
    return SerializeJson(value, registry);
}

BindingProperty FloatValue(double d) {
    BindingProperty v;
    v.SetDouble(d);
    return v;
}

TEST(JsonWriter, FloatsInShortestRoundTripForm) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {{1.0, "1.0"}, {0.0, "0.0"}, {-0.0, "-0.0"}, {1e30, "1e30"}, {1.5e-7, "1.5e-7"},
                 {0.1, "0.1"}, {-2.5, "-2.5"}, {1.8446744073709552e19, "18446744073709553000.0"}, {1e21, "1e21"}};
    for (const auto& c : cases) EXPECT_EQ(Compact(FloatValue(c.value)), c.text) << c.value;
}

TEST(JsonWriter, NonFiniteFloatsAreWrittenAsNullByBothWriters) {
    BindingProperty v;
    v.Element(0).SetDouble(std::numeric_limits<double>::quiet_NaN());
    v.Element(1).SetDouble(std::numeric_limits<double>::infinity());
    v.Element(2).SetDouble(-std::numeric_limits<double>::infinity());
    v.Element(3).SetSigned(1);
    EXPECT_EQ(Compact(v), "[null,null,null,1]");
    EXPECT_EQ(SerializeJson(v, nullptr, JsonWriteOptions::Pretty()), "[\n    null,\n    null,\n    null,\n    1\n]");
    EXPECT_EQ(Compact(FloatValue(std::nan(""))), "null");
}

TEST(JsonWriter, StringEscapes) {
    BindingProperty v;
    v.SetString(std::string_view("q\"b\\s/\x01\x1f\b\f\n\r\t\0\xC3\xA9", 16));
    EXPECT_EQ(Compact(v), "\"q\\\"b\\\\s/\\u0001\\u001F\\b\\f\\n\\r\\t\\u0000\xC3\xA9\"");
    BindingProperty member;
    member.Member("a\"b").SetSigned(1);
    EXPECT_EQ(Compact(member), "{\"a\\\"b\":1}");
}

// Runs of plain bytes are copied in blocks: a byte that needs an escape is
// found wherever it stands in a block, in names and in values, and in the
// pretty form too.
TEST(JsonWriter, EscapesAtEveryOffsetOfLongTexts) {
    const char specials[] = {'"', '\\', '\n', '\x01', '\x1F', '\0'};
    using PlainBuffer = rapidjson::GenericStringBuffer<rapidjson::UTF8<>, rapidjson::MemoryPoolAllocator<>>;
    PlainBuffer expected;
    for (std::size_t length : {1u, 2u, 15u, 16u, 17u, 31u, 32u, 33u, 40u}) {
        for (std::size_t at = 0; at < length; ++at) {
            for (char special : specials) {
                std::string text(length, 'a');
                for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>(i % 2 ? '\x7F' : '\xC3' + (i % 3));
                text[at] = special;
                // RapidJSON's byte-by-byte escaping (its block scan for the
                // default buffer lets 0x1F through at the start of a block).
                expected.Clear();
                rapidjson::Writer<PlainBuffer> reference(expected);
                reference.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
                const std::string quoted(expected.GetString(), expected.GetSize());

                BindingProperty value;
                value.Member("k" + text.substr(0, at + 1 == length ? at : length)).SetString(text);
                value.Member("v").SetString(text);
                const std::string compact = SerializeJson(value, nullptr);
                ASSERT_NE(compact.find(":" + quoted), std::string::npos) << length << " " << at << " " << int(special);
                const std::string pretty = SerializeJson(value, nullptr, JsonWriteOptions::Pretty());
                ASSERT_NE(pretty.find(": " + quoted), std::string::npos) << length << " " << at;
            }
        }
    }
}

TEST(JsonWriter, BlobsAsBase64) {
    struct Case {
        std::string bytes;
        const char* text;
    } cases[] = {{"", "\"\""}, {"f", "\"Zg==\""}, {"fo", "\"Zm8=\""}, {"foo", "\"Zm9v\""},
                 {std::string("\xFF\x00\xFE", 3), "\"/wD+\""}};
    for (const auto& c : cases) {
        BindingProperty v;
        v.SetBlob(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(Compact(v), c.text);
    }
}

TEST(JsonWriter, EnumsByNameWhenTheRegistryKnowsOne) {
    TypeRegistry registry;
    registry.SetUp();
    BindingProperty v;
    v.Element(0).SetEnum(1, &TypeIdOf<BindingAsyncState>());
    v.Element(1).SetEnum(-1, &TypeIdOf<BindingAsyncState>());
    EXPECT_EQ(Compact(v, &registry), "[\"Running\",-1]");
    EXPECT_EQ(Compact(v), "[1,-1]");
}

TEST(JsonWriter, PrettyFormAndLineEnds) {
    BindingProperty v;
    v.Member("a").SetSigned(1);
    EXPECT_EQ(SerializeJson(v, nullptr, JsonWriteOptions::Pretty("\r\n")), "{\r\n    \"a\": 1\r\n}");
    EXPECT_EQ(SerializeJson(v, nullptr, {}), "{\"a\":1}");

    BindingProperty nested;
    nested.Member("list").Element(0).SetBool(true);
    nested.Member("none").MakeCollection();
    nested.Member("obj").MakeStructure();
    EXPECT_EQ(SerializeJson(nested, nullptr, JsonWriteOptions::Pretty()),
              "{\n    \"list\": [\n        true\n    ],\n    \"none\": [],\n    \"obj\": {}\n}");
    EXPECT_EQ(SerializeJson(BindingProperty(), nullptr, JsonWriteOptions::Pretty()), "");
}

TEST(JsonWriter, EveryKindRoundTripsThroughText) {
    BindingProperty v;
    v.Member("b").SetBool(false);
    v.Member("s").SetSigned(INT64_MIN);
    v.Member("u").SetUnsigned(UINT64_MAX);
    v.Member("f").SetDouble(-1234.5);
    v.Member("t").SetString("text");
    v.Member("l").Element(2).Member("deep").SetString("x");
    v.Member("o").Member("k");
    BindingResult back = DeserializeJson(Compact(v));
    ASSERT_TRUE(back.ok) << back.Message();
    EXPECT_EQ(back.value, v);
}

// With the heap exhausted, RapidJSON's buffers and stack (which it fills
// without checking for null) make the call throw std::bad_alloc, which the
// guard of every host entry turns into a failure; nothing is written to null.
TEST(JsonWriter, AnExhaustedHeapThrowsInsteadOfWritingToNull) {
    BindingProperty big;
    big.SetString(std::string(200000, 'x'));
    const std::string text = "[" + std::string(5000, '[') + std::string(5000, ']') + "]";
    MemoryHooks exhausted = CountingMemoryHooks();
    exhausted.allocate = [](std::size_t bytes, MemoryCounters* counters) -> void* {
        return bytes > 4096 ? nullptr : CountingMemoryHooks().allocate(bytes, counters);
    };
    exhausted.reallocate = [](void* block, std::size_t bytes, MemoryCounters* counters) -> void* {
        return bytes > 4096 ? nullptr : CountingMemoryHooks().reallocate(block, bytes, counters);
    };
    InstallMemoryHooks(exhausted, &ModuleMemoryCounters());
    EXPECT_THROW(SerializeJson(big, nullptr), std::bad_alloc);
    EXPECT_THROW(DeserializeJson(text), std::bad_alloc);
    InstallMemoryHooks(CountingMemoryHooks(), &ModuleMemoryCounters());
}

TEST(JsonWriter, BenchmarkDocumentsSurviveTheRoundTrip) {
    const std::string citm = Testing::ReadFileText(std::string(VORN_TEST_DATA) + "/citm_catalog.json");
    const std::string twitter = Testing::ReadFileText(std::string(VORN_TEST_DATA) + "/twitter.json");
    ASSERT_FALSE(citm.empty() || twitter.empty()) << "test documents not found in " << VORN_TEST_DATA;
    // The catalogue's keys are in byte order already, so the pretty writer
    // reproduces it exactly.
    BindingResult parsed = DeserializeJson(citm);
    ASSERT_TRUE(parsed.ok) << parsed.Message();
    EXPECT_TRUE(SerializeJson(parsed.value, nullptr, JsonWriteOptions::Pretty()) == citm) << "pretty citm_catalog.json differs";

    BindingResult first = DeserializeJson(twitter);
    ASSERT_TRUE(first.ok) << first.Message();
    BindingResult second = DeserializeJson(Compact(first.value));
    ASSERT_TRUE(second.ok) << second.Message();
    EXPECT_EQ(first.value, second.value);
}

}  // namespace
}  // namespace Vorn

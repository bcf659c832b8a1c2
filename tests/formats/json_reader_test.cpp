#include "formats/json_reader.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <string>

#include "binding/binding_limits.h"
#include "formats/json_writer.h"
#include "repeat_text.h"

namespace Vorn {
namespace {

std::string Compact(const BindingProperty& value) { return SerializeJson(value, nullptr); }

TEST(JsonReader, ParseErrorsCarryRapidJsonsTextAndTheOffset) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"", "Error: The document is empty. at offset 0."},
        {"   ", "Error: The document is empty. at offset 3."},
        {"1 2", "Error: The document root must not be followed by other values. at offset 2."},
        {"[1,]", "Error: Invalid value. at offset 3."},
        {"{1:2}", "Error: Missing a name for object member. at offset 1."},
        {"{\"a\" 1}", "Error: Missing a colon after a name of object member. at offset 5."},
        {"{\"a\":1 \"b\":2}", "Error: Missing a comma or '}' after an object member. at offset 7."},
        {"[1 2]", "Error: Missing a comma or ']' after an array element. at offset 3."},
        {"\"\\u12G4\"", "Error: Incorrect hex digit after \\u escape in string. at offset 1."},
        {"\"\\uD800\\u0041\"", "Error: The surrogate pair in string is invalid. at offset 1."},
        {"\"\\q\"", "Error: Invalid escape character in string. at offset 1."},
        {"\"abc", "Error: Missing a closing quotation mark in string. at offset 4."},
        {"1e400", "Error: Number too big to be stored in double. at offset 0."},
        {"1.", "Error: Miss fraction part in number. at offset 2."},
        {"1e", "Error: Miss exponent in number. at offset 2."},
        {"[1,,]", "Error: Invalid value. at offset 3."},
        {"nul", "Error: Invalid value. at offset 3."},
        {"// comment\n1", "Error: Invalid value. at offset 0."},
    };
    for (const auto& c : cases) {
        BindingResult result = DeserializeJson(c.text);
        EXPECT_FALSE(result.ok) << c.text;
        EXPECT_EQ(result.Message(), c.message) << c.text;
        // A failed result is the structure {"error": message} and nothing else.
        EXPECT_EQ(result.value.Count(), 1u);
    }
    // A view of nothing, without even an address.
    EXPECT_EQ(DeserializeJson(std::string_view()).Message(), "Error: The document is empty. at offset 0.");
    // A one-byte view is copied too (the copy is what the parser reads).
    EXPECT_EQ(Compact(DeserializeJson(std::string_view("7x", 1)).value), "7");
}

TEST(JsonReader, NumbersAreClassifiedAsRapidJsonReadsThem) {
    BindingResult result = DeserializeJson("[1,-1,1.0,18446744073709551615,-9223372036854775808,18446744073709551616]");
    ASSERT_TRUE(result.ok) << result.Message();
    auto e = result.value.Elements();
    ASSERT_EQ(e.size(), 6u);
    EXPECT_EQ(e[0].Kind(), BindingKind::Unsigned);
    EXPECT_EQ(e[0].AsUnsigned(), 1u);
    EXPECT_EQ(e[1].Kind(), BindingKind::Signed);
    EXPECT_EQ(e[1].AsSigned(), -1);
    EXPECT_EQ(e[2].Kind(), BindingKind::Float);
    EXPECT_EQ(e[2].AsDouble(), 1.0);
    EXPECT_EQ(e[3].AsUnsigned(), 18446744073709551615ULL);
    EXPECT_EQ(e[4].AsSigned(), INT64_MIN);
    EXPECT_EQ(e[5].Kind(), BindingKind::Float);
    EXPECT_EQ(e[5].AsDouble(), 1.8446744073709552e19);
}

TEST(JsonReader, NullsStayEmptyPlaces) {
    BindingResult null = DeserializeJson("null");
    ASSERT_TRUE(null.ok);
    EXPECT_TRUE(null.value.IsEmpty());
    EXPECT_EQ(Compact(null.value), "");
    BindingResult list = DeserializeJson("[null,1]");
    ASSERT_EQ(list.value.Count(), 2u);
    EXPECT_TRUE(list.value.GetElement(0).IsEmpty());
    EXPECT_EQ(Compact(list.value), "[null,1]");
    BindingResult member = DeserializeJson("{\"a\":null}");
    ASSERT_NE(member.value.FindMember("a"), nullptr);
    EXPECT_TRUE(member.value.GetMember("a").IsEmpty());
}

TEST(JsonReader, RepeatedKeysMergeContainersAndOverwriteScalars) {
    EXPECT_EQ(Compact(DeserializeJson("{\"a\":[1],\"a\":[2]}").value), "{\"a\":[1,2]}");
    EXPECT_EQ(Compact(DeserializeJson("{\"a\":{\"x\":1},\"a\":{\"y\":2}}").value), "{\"a\":{\"x\":1,\"y\":2}}");
    EXPECT_EQ(Compact(DeserializeJson("{\"a\":1,\"a\":\"s\"}").value), "{\"a\":\"s\"}");
    EXPECT_EQ(Compact(DeserializeJson("{\"a\":{\"x\":1},\"a\":[3]}").value), "{\"a\":[3]}");
    EXPECT_EQ(Compact(DeserializeJson("{\"b\":1,\"a\":2}").value), "{\"a\":2,\"b\":1}");
}

TEST(JsonReader, StringsKeepEveryByteAndNamesStopAtNul) {
    BindingResult result = DeserializeJson("{\"k\\u0000ey\":\"a\\u0000b\\n\\u00e9\\ud83d\\ude00\",\"raw\":\"\xC3\xA9\"}");
    ASSERT_TRUE(result.ok) << result.Message();
    const BindingProperty& s = result.value.GetMember("k");
    EXPECT_EQ(s.AsString(), std::string_view("a\0b\n\xC3\xA9\xF0\x9F\x98\x80", 10));
    EXPECT_EQ(result.value.GetMember("raw").AsString(), "\xC3\xA9");
}

TEST(JsonReader, LengthCountedTextEndsAtItsFirstNul) {
    const std::string_view text("[1,2]\0garbage", 13);
    BindingResult result = DeserializeJson(text);
    ASSERT_TRUE(result.ok) << result.Message();
    EXPECT_EQ(Compact(result.value), "[1,2]");
    const std::string_view cut("[1,", 3);  // not NUL-terminated: the view's end is the end
    EXPECT_EQ(DeserializeJson(cut).Message(), "Error: Invalid value. at offset 3.");
    EXPECT_TRUE(DeserializeJson(std::string("{\"a\":true}")).value.GetMember("a").AsBool());
}

// Small texts are parsed in a copy, large ones where they are: both read the
// same, end at a NUL and report errors at the same offsets.
TEST(JsonReader, SmallAndLargeTextsReadAlike) {
    for (std::size_t padding : {std::size_t{10}, std::size_t{3} << 20}) {
        const std::string spaces(padding, ' ');
        const std::string text = "{\"a\":\"x\\ty\",\"b\":[1,2.5]" + spaces + "}";
        for (BindingResult result : {DeserializeJson(text), DeserializeJson(text.c_str())}) {
            ASSERT_TRUE(result.ok) << padding << ": " << result.Message();
            EXPECT_EQ(Compact(result.value), "{\"a\":\"x\\ty\",\"b\":[1,2.5]}") << padding;
        }
        const std::string cut = "[1" + spaces + std::string("]\0,]", 4);
        EXPECT_EQ(Compact(DeserializeJson(std::string_view(cut)).value), "[1]") << padding;
        const std::string wrong = "[1" + spaces + "}";
        const std::string message = "Error: Missing a comma or ']' after an array element. at offset " +
                                    std::to_string(2 + padding) + ".";
        EXPECT_EQ(DeserializeJson(wrong).Message(), message) << padding;
        EXPECT_EQ(DeserializeJson(wrong.c_str()).Message(), message) << padding;
    }
}

std::string Nested(std::size_t depth, const char* open, const char* close) {
    return Testing::Repeat(open, depth) + Testing::Repeat(close, depth);
}

TEST(JsonReader, NestingBeyondTheLimitStopsTheParse) {
    BindingResult atLimit = DeserializeJson(Nested(kMaxNestingDepth, "[", "]"));
    EXPECT_TRUE(atLimit.ok) << atLimit.Message();
    std::string objectsText;
    for (std::size_t i = 0; i < kMaxNestingDepth; ++i) objectsText += "{\"k\":";
    objectsText += "1";
    objectsText.append(kMaxNestingDepth, '}');
    BindingResult objects = DeserializeJson(objectsText);
    EXPECT_TRUE(objects.ok) << objects.Message();

    BindingResult over = DeserializeJson(Nested(kMaxNestingDepth + 1, "[", "]"));
    EXPECT_EQ(over.Message(), "Error: Terminate parsing due to Handler error. at offset 513.");
    // A million brackets would overflow the stack of a recursive reader.
    BindingResult million = DeserializeJson(std::string(1000000, '['));
    EXPECT_EQ(million.Message(), "Error: Terminate parsing due to Handler error. at offset 513.");
}

TEST(JsonReader, TheDeepestAcceptedTextParsesOnAOneMebibyteStack) {
    // A host thread has 1 MiB of stack; the recursive reader must fit in it.
    struct Job {
        std::string text;
        bool ok = false;
    } job;
    for (std::size_t i = 0; i < kMaxNestingDepth / 2; ++i) job.text += "[{\"a\":";  // two levels per step
    job.text += "0";
    for (std::size_t i = 0; i < kMaxNestingDepth / 2; ++i) job.text += "}]";
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 1024 * 1024);
    pthread_t thread;
    ASSERT_EQ(pthread_create(
                  &thread, &attributes,
                  [](void* arg) -> void* {
                      auto* j = static_cast<Job*>(arg);
                      j->ok = DeserializeJson(j->text).ok;
                      return nullptr;
                  },
                  &job),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    EXPECT_TRUE(job.ok);
}

}  // namespace
}  // namespace Vorn

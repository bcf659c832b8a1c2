#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/message_format.h"

namespace Vorn {
namespace {

struct PositionalCase {
    const char* description;
    const char* format;
    std::vector<FormatArg> args;
    const char* expected;
};

// The C runtime's own rendering of a null pointer: glibc's "(nil)", the
// Windows runtime's zero digits as wide as a pointer.
#if defined(_WIN32)
const std::string kNullPointerText(2 * sizeof(void*), '0');
#else
const std::string kNullPointerText = "(nil)";
#endif

TEST(FormatPositional, Rules) {
    const PositionalCase cases[] = {
        {"numbered in any order", "%2 %1", {"A", "B"}, "B A"},
        {"double percent is literal and takes no argument", "%%1", {"A"}, "%1"},
        {"natural integer", "n=%1", {-42}, "n=-42"},
        {"natural unsigned 64", "%1", {uint64_t{18446744073709551615ULL}}, "18446744073709551615"},
        {"natural bool", "%1", {true}, "true"},
        {"numbered printf spec", "[%2$-8s]", {"x", "ab"}, "[ab      ]"},
        {"sequential printf specs", "%s-%d", {"a", 7}, "a-7"},
        {"numbered references do not move the sequence", "%2 %s", {"first", "second"}, "second first"},
        {"digits beyond the count read as a width", "[%5d]", {3}, "[    3]"},
        {"star width from the next argument", "[%*d]", {4, 9}, "[   9]"},
        {"negative star width aligns left", "[%*d]", {-4, 9}, "[9   ]"},
        {"precision of a text", "%.2s", {"abcdef"}, "ab"},
        {"hex of a negative 32-bit", "%x", {-1}, "ffffffff"},
        {"hex of a 64-bit", "%llX", {uint64_t{0xABCDEF0123ULL}}, "ABCDEF0123"},
        {"length modifiers are taken and ignored", "%hhd %zu %jd", {300, 5u, int64_t{-9}}, "300 5 -9"},
        {"float conversions", "%.3f %e", {1.5, 100.0}, "1.500 1.000000e+02"},
        {"an integer under a float conversion", "%.1f", {3}, "3.0"},
        {"a number under %s prints its natural form", "%s|%5s", {12, false}, "12|false"},
        {"pointer", "%p", {static_cast<const void*>(nullptr)}, kNullPointerText.c_str()},
        {"plus and space flags", "%+d % d", {5, 5}, "+5  5"},
        {"char conversion", "%c%c", {65, 66}, "AB"},
        {"positional text argument with embedded view", "<%1>", {std::string_view("abc", 2)}, "<ab>"},
        {"an empty view without a pointer", "<%1>", {std::string_view()}, "<>"},
        {"user agent", "VornClient/%1 (%2)", {"1.2.3", "x86"}, "VornClient/1.2.3 (x86)"},
    };
    for (const auto& c : cases) {
        std::string got = FormatMessage(c.format, std::span<const FormatArg>(c.args));
        EXPECT_EQ(got, c.expected) << c.description;
    }
}

TEST(FormatPositional, StopsEarlyKeepingWhatWasWritten) {
    const PositionalCase cases[] = {
        {"argument past the end", "a %s b %s c", {"x"}, "a x b "},
        {"numbered past the end reads as a width, then stops", "a %3$s b", {"x"}, "a "},
        {"malformed conversion", "a %y b", {"x"}, "a "},
        {"%n is refused", "a %n b", {1}, "a "},
        {"format ending in a percent", "abc %", {"x"}, "abc "},
        {"no arguments at all", "a %1 b", {}, "a "},
        {"star without an argument", "a %*d", {}, "a "},
    };
    for (const auto& c : cases) {
        std::string got = FormatMessage(c.format, std::span<const FormatArg>(c.args));
        EXPECT_EQ(got, c.expected) << c.description;
    }
}

TEST(FormatPositional, SpecificationsLongerThan59CharactersStop) {
    std::string ok = "%-" + std::string(55, '0') + "1d";  // 59 characters
    ASSERT_EQ(ok.size(), 59u);
    std::string got = FormatMessage(("<" + ok + ">").c_str(), {7});
    EXPECT_EQ(got.substr(0, 2), "<7");
    std::string tooLong = "%-" + std::string(56, '0') + "1d";  // 60 characters
    EXPECT_EQ(FormatMessage(("<" + tooLong + ">").c_str(), {7}), "<");
}

TEST(FormatPositional, TruncatesAtCapacityAndAlwaysTerminates) {
    char buffer[8];
    std::memset(buffer, 'z', sizeof(buffer));
    EXPECT_EQ(FormatPositional(buffer, sizeof(buffer), "abcdefghij", {}), 7u);
    EXPECT_STREQ(buffer, "abcdefg");

    std::memset(buffer, 'z', sizeof(buffer));
    EXPECT_EQ(FormatPositional(buffer, sizeof(buffer), "ab%1", {"cdefghijk"}), 7u);
    EXPECT_STREQ(buffer, "abcdefg");

    std::memset(buffer, 'z', sizeof(buffer));
    EXPECT_EQ(FormatPositional(buffer, sizeof(buffer), "%10d", {1}), 7u);
    EXPECT_STREQ(buffer, "       ");

    char one[1] = {'z'};
    EXPECT_EQ(FormatPositional(one, 1, "abc", {}), 0u);
    EXPECT_EQ(one[0], '\0');
    EXPECT_EQ(FormatPositional(nullptr, 0, "abc", {}), 0u);
}

TEST(FormatPositional, MessagesAreCutAt4095Characters) {
    std::string longText(5000, 'x');
    std::string message = FormatMessage("%1", {longText});
    EXPECT_EQ(message.size(), 4095u);
}

TEST(FormatNamed, BuildsPositionalTextAndSuffixedFields) {
    std::string positional;
    std::vector<NamedField> fields;
    const FormatArg args[] = {"GET", "/a/b", "timeout"};
    FormatNamed("Error response for {method} {url}: {error}", args, positional, fields);
    EXPECT_EQ(positional, "Error response for %1 %2: %3");
    EXPECT_EQ(FormatMessage(positional.c_str(), args), "Error response for GET /a/b: timeout");
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0].name, "method_str");
    EXPECT_EQ(fields[0].text, "GET");
    EXPECT_EQ(fields[1].name, "url_str");
    EXPECT_EQ(fields[2].name, "error_str");
}

TEST(FormatNamed, SuffixByKindUnlessNameHasOne) {
    std::string positional;
    std::vector<NamedField> fields;
    const FormatArg args[] = {404, 2.5, true, 7, "x", 1};
    FormatNamed("{code} {ratio} {flag} {errorCode_int} {when_time} {peer_ip}", args, positional, fields);
    ASSERT_EQ(fields.size(), 6u);
    EXPECT_EQ(fields[0].name, "code_int");
    EXPECT_EQ(fields[0].integer, 404);
    EXPECT_EQ(fields[1].name, "ratio_float");
    EXPECT_DOUBLE_EQ(fields[1].number, 2.5);
    EXPECT_EQ(fields[2].name, "flag_bool");
    EXPECT_EQ(fields[3].name, "errorCode_int");
    EXPECT_EQ(fields[4].name, "when_time");
    EXPECT_EQ(fields[5].name, "peer_ip");
}

TEST(FormatNamed, BracesPercentsAndPrintfSpecs) {
    std::string positional;
    std::vector<NamedField> fields;
    const FormatArg args[] = {"a", 5, "c"};
    FormatNamed("{{x}} 100%% {first} %03d {third}", args, positional, fields);
    EXPECT_EQ(positional, "{x} 100%% %1 %2$03d %3");
    EXPECT_EQ(FormatMessage(positional.c_str(), args), "{x} 100% a 005 c");
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[1].name, "third_str");
}

TEST(FormatNamed, PlaceholderOptionsAndAdjacentDigits) {
    std::string positional;
    std::vector<NamedField> fields;
    const FormatArg args[] = {42, "v"};
    FormatNamed("{#count:5d}{name!}9", args, positional, fields);
    EXPECT_EQ(FormatMessage(positional.c_str(), args), "   42v9");
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0].name, "count_int");
    EXPECT_EQ(fields[1].name, "name_str");

    FormatNamed("open {brace", args, positional, fields);
    EXPECT_EQ(positional, "open {brace");
    EXPECT_TRUE(fields.empty());
}

}  // namespace
}  // namespace Vorn

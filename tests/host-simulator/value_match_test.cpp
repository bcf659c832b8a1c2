#include <gtest/gtest.h>

#include "host-simulator/duration.h"
#include "host-simulator/value_match.h"
#include "host_test_helpers.h"

namespace Vorn::HostSimulator {
namespace {

using Testing::Json;

TEST(ValueMatches, ScenarioRules) {
    const struct {
        const char* description;
        const char* expected;
        const char* actual;
        bool matches;
        const char* why;
    } cases[] = {
        {"listed keys only", R"({"a":1})", R"({"a":1,"b":2})", true, ""},
        {"a missing key", R"({"c":1})", R"({"a":1})", false, "c: expected 1, got nothing"},
        {"absent key", R"({"c":"$absent"})", R"({"a":1})", true, ""},
        {"present but must be absent", R"({"a":"$absent"})", R"({"a":1})", false, "a: expected no such key, got 1"},
        {"any present value", R"({"a":"$any"})", R"({"a":[1,{}]})", true, ""},
        {"any needs presence", R"({"a":"$any"})", R"({})", false, "a: expected \"$any\", got nothing"},
        {"lists need the same length", "[1,2]", "[1,2,3]", false, "the value: expected [1,2], got [1,2,3]"},
        {"nested place", R"({"a":[{"b":"x"}]})", R"({"a":[{"b":"y"}]})", false, "a[0].b: expected \"x\", got \"y\""},
        {"signed and unsigned", "-1", "-1", true, ""},
        {"an integer and its float", "1", "1.0", true, ""},
        {"large unsigned exactly", "18446744073709551615", "18446744073709551614", false,
         "the value: expected 18446744073709551615, got 18446744073709551614"},
        {"text is not a number", R"("1")", "1", false, "the value: expected \"1\", got 1"},
        {"null matches null", "null", "null", true, ""},
    };
    for (const auto& c : cases) {
        std::string why;
        const BindingProperty actual = Json(c.actual);
        EXPECT_EQ(ValueMatches(Json(c.expected), &actual, why), c.matches) << c.description;
        EXPECT_EQ(why, c.why) << c.description;
    }
    // A signed -1 never equals an unsigned value, whatever its bits.
    BindingProperty negative;
    negative.SetSigned(-1);
    BindingProperty huge;
    huge.SetUnsigned(UINT64_MAX);
    std::string why;
    EXPECT_FALSE(ValueMatches(negative, &huge, why));
    BindingProperty twelveHundred;
    twelveHundred.SetSigned(1200);
    EXPECT_TRUE(ValueMatches(Json("1200"), &twelveHundred, why));
}

TEST(ParseDuration, UnitsAndBadText) {
    EXPECT_EQ(ParseDuration("250ms"), 250000000u);
    EXPECT_EQ(ParseDuration("90s"), 90000000000u);
    EXPECT_EQ(ParseDuration("10m"), 600000000000u);
    EXPECT_EQ(ParseDuration("1.5h"), 5400000000000u);
    EXPECT_EQ(ParseDuration("2"), 2000000000u);
    EXPECT_EQ(ParseDuration("0s"), 0u);
    for (const char* bad : {"", "ms", "-1s", "10 m", "10x", "1e30h", "s10"}) {
        EXPECT_FALSE(ParseDuration(bad).has_value()) << bad;
    }
}

}  // namespace
}  // namespace Vorn::HostSimulator

#include "binding/number_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

#include "decimal_comma_locale.h"

namespace Vorn {
namespace {

struct Case {
    const char* description;
    std::string text;
    std::string expected;
};

// "+42", "-0", "overflow" or "malformed": what a caller may rely on.
std::string Show(const IntegerText& integer) {
    if (!integer.wellFormed) return "malformed";
    std::string shown = integer.negative ? "-" : "+";
    shown += integer.overflow ? "overflow" : std::to_string(integer.magnitude);
    return shown;
}

std::string Digits(double value) {
    if (value == 0.0) return std::signbit(value) ? "-0" : "0";
    char digits[64];
    const auto [end, error] = std::to_chars(digits, digits + sizeof(digits), value);
    return std::string(digits, end);
}

// Appends in place: GCC 12 reports a false -Wrestrict for "x" + string.
std::string Join(std::string_view prefix, const std::string& body) { return std::string(prefix).append(body); }

// "exact 0.5", "overflow -inf", "underflow -0" or "malformed".
std::string Show(const FloatText& number) {
    switch (number.status) {
        case FloatText::Status::Malformed: return "malformed";
        case FloatText::Status::Exact: return Join("exact ", Digits(number.value));
        case FloatText::Status::Overflow: return Join("overflow ", Digits(number.value));
        case FloatText::Status::Underflow: return Join("underflow ", Digits(number.value));
    }
    return "?";
}

// "u1", "s-1", "f0.5" or "none".
std::string Show(const NumberText& number) {
    switch (number.kind) {
        case NumberText::Kind::NotANumber: return "none";
        case NumberText::Kind::Unsigned: return Join("u", std::to_string(number.u));
        case NumberText::Kind::Signed: return Join("s", std::to_string(number.i));
        case NumberText::Kind::Float: return Join("f", Digits(number.d));
    }
    return "?";
}

TEST(NumberText, IntegersInTheAutomaticBase) {
    const Case cases[] = {
        {"decimal", "42", "+42"},
        {"zero", "0", "+0"},
        {"minus sign", "-42", "-42"},
        {"minus zero keeps its sign", "-0", "-0"},
        {"plus sign", "+7", "+7"},
        {"leading white space", " \t\n\v\f\r12", "+12"},
        {"hexadecimal", "0x1F", "+31"},
        {"hexadecimal, capital X and lower-case digits", "0Xff", "+255"},
        {"negative hexadecimal", "-0x10", "-16"},
        {"leading zero is octal", "017", "+15"},
        {"a digit beyond octal", "08", "malformed"},
        {"0x without a hexadecimal digit", "0x", "malformed"},
        {"0x before a letter beyond f", "0xg", "malformed"},
        {"largest 64-bit value", "18446744073709551615", "+18446744073709551615"},
        {"largest 64-bit value in hexadecimal", "0xFFFFFFFFFFFFFFFF", "+18446744073709551615"},
        {"largest 64-bit value in octal", "01777777777777777777777", "+18446744073709551615"},
        {"one above 64 bits", "18446744073709551616", "+overflow"},
        {"one above 64 bits in hexadecimal", "0x10000000000000000", "+overflow"},
        {"far above 64 bits, negative", "-99999999999999999999999", "-overflow"},
        {"trailing white space", "12 ", "malformed"},
        {"trailing letters", "12abc", "malformed"},
        {"decimal point", "1.0", "malformed"},
        {"empty", "", "malformed"},
        {"sign alone", "-", "malformed"},
        {"two signs", "+-1", "malformed"},
        {"space after the sign", "- 1", "malformed"},
        {"digit groups", "1_000", "malformed"},
    };
    for (const Case& c : cases) EXPECT_EQ(Show(ReadIntegerText(c.text)), c.expected) << c.description;
}

TEST(NumberText, SignedValuesOfIntegers) {
    const struct {
        const char* description;
        const char* text;
        bool fits;
        int64_t value;
    } cases[] = {
        {"smallest", "-9223372036854775808", true, INT64_MIN},
        {"largest", "9223372036854775807", true, INT64_MAX},
        {"minus zero", "-0", true, 0},
        {"one above the largest", "9223372036854775808", false, 0},
        {"one below the smallest", "-9223372036854775809", false, 0},
        {"largest unsigned", "0xFFFFFFFFFFFFFFFF", false, 0},
        {"beyond 64 bits", "-18446744073709551617", false, 0},
    };
    for (const auto& c : cases) {
        int64_t value = 12345;
        EXPECT_EQ(SignedFromIntegerText(ReadIntegerText(c.text), value), c.fits) << c.description;
        if (c.fits) {
            EXPECT_EQ(value, c.value) << c.description;
        }
    }
}

TEST(NumberText, FloatsAsStrtodReadsThem) {
    const Case cases[] = {
        {"fraction", "0.5", "exact 0.5"},
        {"exponent and sign", "-2.5e3", "exact -2500"},
        {"plus sign", "+0.25", "exact 0.25"},
        {"no integer digits", ".5", "exact 0.5"},
        {"no fraction digits", "5.", "exact 5"},
        {"leading white space", "  1.5", "exact 1.5"},
        {"integer beyond 64 bits", "18446744073709551616", "exact 18446744073709551616"},
        {"hexadecimal with binary exponent", "0x1p4", "exact 16"},
        {"negative hexadecimal fraction", "-0x1.8p1", "exact -3"},
        {"hexadecimal without exponent", "0x10", "exact 16"},
        {"infinity", "inf", "exact inf"},
        {"infinity spelled out, negative", "-Infinity", "exact -inf"},
        {"not a number", "nan", "exact nan"},
        {"overflow", "1e999", "overflow inf"},
        {"negative overflow", "-1e999", "overflow -inf"},
        {"digits beyond the range", "1" + std::string(400, '0'), "overflow inf"},
        {"exponent with leading zeros", "1" + std::string(500, '0') + "e-001", "overflow inf"},
        {"hexadecimal overflow", "0x1p2000", "overflow inf"},
        {"underflow", "1e-400", "underflow 0"},
        {"negative underflow keeps the sign", "-1e-400", "underflow -0"},
        {"underflow by leading zeros", "0." + std::string(400, '0') + "1", "underflow 0"},
        {"hexadecimal underflow", "0x1p-2000", "underflow 0"},
        {"zero is no underflow", "0e-400", "exact 0"},
        {"trailing letters", "1.5x", "malformed"},
        {"decimal comma", "0,5", "malformed"},
        {"two signs", "+-1", "malformed"},
        {"sign after 0x", "0x-1", "malformed"},
        {"0x alone", "0x", "malformed"},
        {"trailing white space", "1.5 ", "malformed"},
        {"empty", "", "malformed"},
        {"exponent without digits", "1e", "malformed"},
    };
    for (const Case& c : cases) EXPECT_EQ(Show(ReadFloatText(c.text)), c.expected) << c.description;
    // In a view of a longer text the number ends where the view does.
    const std::string longer = "1" + std::string(500, '0') + "e-1000";
    EXPECT_EQ(Show(ReadFloatText(std::string_view(longer).substr(0, longer.size() - 2))), "overflow inf");
}

TEST(NumberText, NumbersTypedByTheirValue) {
    const Case cases[] = {
        {"unsigned", "1", "u1"},
        {"signed", "-1", "s-1"},
        {"fraction", "1.5", "f1.5"},
        {"integral fraction", "1.0", "u1"},
        {"integral exponent", "1e3", "u1000"},
        {"leading zero is decimal", "010", "u10"},
        {"hexadecimal", "0x10", "u16"},
        {"negative hexadecimal", "-0x10", "s-16"},
        {"integral hexadecimal float", "0x1.8p1", "u3"},
        {"negative zero is unsigned", "-0", "u0"},
        {"negative zero fraction is unsigned", "-0.0", "u0"},
        {"above 2^53, exactly", "9007199254740993", "u9007199254740993"},
        {"largest unsigned", "18446744073709551615", "u18446744073709551615"},
        {"smallest signed", "-9223372036854775808", "s-9223372036854775808"},
        {"above the unsigned range", "18446744073709551616", "f18446744073709551616"},
        {"below the signed range, though its double is not", "-9223372036854775809", "f-9223372036854775808"},
        {"largest exponent inside 64 bits", "1e19", "u10000000000000000000"},
        {"integral exponent above 64 bits", "1e30", "f1e+30"},
        {"2^63 as a negative exponent form", "-9.223372036854775808e18", "s-9223372036854775808"},
        {"2^64 as a float text", "1.8446744073709551616e19", "f18446744073709551616"},
        {"infinity", "inf", "finf"},
        {"negative infinity", "-inf", "f-inf"},
        {"overflow", "1e400", "finf"},
        {"not a number", "nan", "fnan"},
        {"underflow stays a fraction", "1e-400", "f0"},
        {"negative underflow", "-1e-400", "f-0"},
        {"leading white space", " -7", "s-7"},
        {"word", "yes", "none"},
        {"word starting like a number", "nonsense", "none"},
        {"trailing letters", "12abc", "none"},
        {"two signs", "+-1", "none"},
        {"digit groups", "1_000", "none"},
        {"decimal comma", "0,5", "none"},
        {"date", "2001-01-23", "none"},
        {"empty", "", "none"},
    };
    for (const Case& c : cases) EXPECT_EQ(Show(ReadNumberText(c.text)), c.expected) << c.description;
}

TEST(NumberText, ReadsTheSameUnderADecimalCommaLocale) {
    Testing::DecimalCommaLocale locale;
    ASSERT_TRUE(locale.Active()) << "no decimal-comma locale is installed (scripts/setup generates de_DE.UTF-8)";
    EXPECT_EQ(Show(ReadFloatText("0.5")), "exact 0.5") << locale.Name();
    EXPECT_EQ(Show(ReadFloatText("0,5")), "malformed") << locale.Name();
    EXPECT_EQ(Show(ReadNumberText("1.5e3")), "u1500") << locale.Name();
    EXPECT_EQ(Show(ReadNumberText("-2.25")), "f-2.25") << locale.Name();
    EXPECT_EQ(Show(ReadIntegerText("0x1F")), "+31") << locale.Name();
}

}  // namespace
}  // namespace Vorn

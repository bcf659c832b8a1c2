#pragma once
// Numbers read from text: the one reader behind the conversion rules and the
// YAML scalar typing. Every reader takes a length-counted text (no terminator
// needed), ignores the process locale (a decimal-comma locale must not turn
// "0.5" into text) and must consume the whole text; white space is allowed
// before the number only, as strtol and strtod allow it.
#include <cstdint>
#include <string_view>

namespace Vorn {

// An integer as strtoll and strtoull read one: white space, a sign, then
// digits in the automatic base (0x or 0X and at least one hexadecimal digit:
// hexadecimal; a leading 0: octal; else decimal). The magnitude is exact in
// 64 bits; beyond that only the overflow flag is reliable.
struct IntegerText {
    bool wellFormed = false;  // digits, and nothing after them
    bool negative = false;    // the sign was '-' (also for "-0")
    bool overflow = false;    // the magnitude does not fit 64 bits
    uint64_t magnitude = 0;
};

IntegerText ReadIntegerText(std::string_view text);

// The signed 64-bit value of a well-formed integer; false when it does not fit.
bool SignedFromIntegerText(const IntegerText& integer, int64_t& out);

// A double as strtod reads one: white space, a sign, decimal digits with an
// optional point and exponent, 0x hexadecimal with an optional binary
// exponent, or an inf, infinity or nan spelling. A magnitude beyond the
// double range is an overflow (value infinity), a nonzero one below it an
// underflow (value zero), each with the text's sign.
struct FloatText {
    enum class Status : uint8_t { Malformed, Exact, Overflow, Underflow };
    Status status = Status::Malformed;
    double value = 0.0;
};

FloatText ReadFloatText(std::string_view text);

// A number as strtod reads it, typed by its value and exact for 64-bit
// integers (a double would round 9007199254740993, and cannot hold
// 18446744073709551615): an integral value inside 64 bits is unsigned from 0
// up (-0 included) and signed below 0; fractions, NaN, infinities and
// integral values outside 64 bits (1e30, -18446744073709551616) are doubles.
// The integer digits are decimal or 0x hexadecimal: a leading 0 is not octal
// here, as strtod reads it. Overflow gives an infinity, underflow a zero.
struct NumberText {
    enum class Kind : uint8_t { NotANumber, Unsigned, Signed, Float };
    Kind kind = Kind::NotANumber;
    uint64_t u = 0;
    int64_t i = 0;
    double d = 0.0;
};

NumberText ReadNumberText(std::string_view text);

}  // namespace Vorn

#include "binding/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace Vorn {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

bool HasHexPrefix(std::string_view text) {
    return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// The text after its leading white space and sign.
struct SignedText {
    bool negative = false;
    std::string_view body;
};

SignedText SplitSign(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    SignedText split;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) split.negative = text[i++] == '-';
    split.body = text.substr(i);
    return split;
}

// from_chars leaves the value alone when it is out of range, where strtod
// gives infinity for an overflow and zero for an underflow. Out-of-range
// magnitudes lie far above 1 or far below it, so the sign of the number's
// order of magnitude (digits before the point, or zeros after it, plus the
// exponent) tells which. number is unsigned, without its 0x prefix.
bool OutOfRangeIsOverflow(std::string_view number, bool hex) {
    const char exponentMark = hex ? 'p' : 'e';
    int64_t order = 0;  // in digits: leading digit's position relative to the point
    bool seenNonZero = false;
    bool inFraction = false;
    std::size_t i = 0;
    for (; i < number.size(); ++i) {
        const char c = number[i];
        if (c == '.') {
            inFraction = true;
        } else if ((c | 0x20) == exponentMark) {
            break;
        } else if (!inFraction) {
            if (seenNonZero || c != '0') {
                seenNonZero = true;
                ++order;
            }
        } else if (!seenNonZero) {
            --order;
            seenNonZero = c != '0';
        }
    }
    int64_t exponent = 0;
    if (i < number.size()) {
        ++i;
        const bool negative = i < number.size() && number[i] == '-';
        if (i < number.size() && (number[i] == '-' || number[i] == '+')) ++i;
        // Saturates: any exponent this large is out of range either way.
        for (; i < number.size() && IsDecimalDigit(number[i]) && exponent < (int64_t{1} << 40); ++i) {
            exponent = exponent * 10 + (number[i] - '0');
        }
        if (negative) exponent = -exponent;
    }
    return (hex ? order * 4 : order) + exponent > 0;
}

// The unsigned number in body (its 0x prefix already taken off when hex).
FloatText ReadFloatBody(std::string_view body, bool hex, bool negative) {
    FloatText number;
    // from_chars takes no sign of its own: a second sign is no number.
    if (body.empty() || body[0] == '+' || body[0] == '-') return number;
    const char* end = body.data() + body.size();
    const auto [stop, error] =
        std::from_chars(body.data(), end, number.value, hex ? std::chars_format::hex : std::chars_format::general);
    if (error == std::errc::invalid_argument || stop != end) return number;
    if (error == std::errc::result_out_of_range) {
        const bool overflow = OutOfRangeIsOverflow(body, hex);
        number.status = overflow ? FloatText::Status::Overflow : FloatText::Status::Underflow;
        number.value = overflow ? std::numeric_limits<double>::infinity() : 0.0;
    } else {
        number.status = FloatText::Status::Exact;
    }
    if (negative) number.value = -number.value;
    return number;
}

enum class Magnitude { NotInteger, Fits, TooLarge };

// The whole of digits (no sign, no prefix) as an integer in base 10 or 16.
Magnitude ReadExactMagnitude(std::string_view digits, int base, uint64_t& out) {
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, out, base);
    if (error == std::errc::invalid_argument || stop != end) return Magnitude::NotInteger;
    return error == std::errc::result_out_of_range ? Magnitude::TooLarge : Magnitude::Fits;
}

// Doubles compare against the 64-bit bounds exactly: 2^63 and 2^64 are
// representable, INT64_MAX and UINT64_MAX are not.
constexpr double kTwoTo63 = 9223372036854775808.0;
constexpr double kTwoTo64 = 18446744073709551616.0;

}  // namespace

IntegerText ReadIntegerText(std::string_view text) {
    IntegerText parsed;
    const SignedText split = SplitSign(text);
    parsed.negative = split.negative;
    const std::string_view body = split.body;
    std::size_t i = 0;
    int base = 10;
    if (body.size() > 2 && HasHexPrefix(body) && DigitValue(body[2]) < 16) {
        base = 16;
        i = 2;
    } else if (!body.empty() && body[0] == '0') {
        base = 8;
    }
    const std::size_t firstDigit = i;
    for (; i < body.size(); ++i) {
        const int digit = DigitValue(body[i]);
        if (digit >= base) break;
        if (parsed.magnitude > (UINT64_MAX - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base)) {
            parsed.overflow = true;
        } else {
            parsed.magnitude = parsed.magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        }
    }
    parsed.wellFormed = i > firstDigit && i == body.size();
    return parsed;
}

bool SignedFromIntegerText(const IntegerText& integer, int64_t& out) {
    if (integer.overflow) return false;
    if (integer.negative) {
        if (integer.magnitude > static_cast<uint64_t>(INT64_MAX) + 1) return false;
        out = integer.magnitude == static_cast<uint64_t>(INT64_MAX) + 1 ? INT64_MIN
                                                                          : -static_cast<int64_t>(integer.magnitude);
        return true;
    }
    if (integer.magnitude > static_cast<uint64_t>(INT64_MAX)) return false;
    out = static_cast<int64_t>(integer.magnitude);
    return true;
}

FloatText ReadFloatText(std::string_view text) {
    SignedText split = SplitSign(text);
    const bool hex = HasHexPrefix(split.body);
    if (hex) split.body.remove_prefix(2);
    return ReadFloatBody(split.body, hex, split.negative);
}

NumberText ReadNumberText(std::string_view text) {
    NumberText number;
    SignedText split = SplitSign(text);
    std::string_view body = split.body;
    // Cheap refusal of the common case, words and other text.
    if (body.empty() || !(IsDecimalDigit(body[0]) || body[0] == '.' || (body[0] | 0x20) == 'i' ||
                          (body[0] | 0x20) == 'n')) {
        return number;
    }

    const bool hex = HasHexPrefix(body);
    if (hex) body.remove_prefix(2);
    uint64_t magnitude = 0;
    const Magnitude integer = ReadExactMagnitude(body, hex ? 16 : 10, magnitude);
    constexpr uint64_t kSignedLimit = uint64_t{1} << 63;  // the magnitude of INT64_MIN
    if (integer == Magnitude::Fits && (!split.negative || magnitude == 0)) {
        number.kind = NumberText::Kind::Unsigned;
        number.u = magnitude;
        return number;
    }
    if (integer == Magnitude::Fits && magnitude <= kSignedLimit) {
        number.kind = NumberText::Kind::Signed;
        number.i = magnitude == kSignedLimit ? INT64_MIN : -static_cast<int64_t>(magnitude);
        return number;
    }

    const FloatText floating = ReadFloatBody(body, hex, split.negative);
    if (floating.status == FloatText::Status::Malformed) return number;
    const double value = floating.value;
    // An integer outside 64 bits is a double, also where its double would
    // round into range (-9223372036854775809 reads as -2^63); an underflow's
    // true value has a fraction, whatever it rounds to. Other integral values
    // inside 64 bits are integers (-0 unsigned).
    if (integer != Magnitude::NotInteger || floating.status == FloatText::Status::Underflow || std::isnan(value) ||
        std::trunc(value) != value || value < -kTwoTo63 || value >= kTwoTo64) {
        number.kind = NumberText::Kind::Float;
        number.d = value;
    } else if (value >= 0.0) {
        number.kind = NumberText::Kind::Unsigned;
        number.u = static_cast<uint64_t>(value);
    } else {
        number.kind = NumberText::Kind::Signed;
        number.i = static_cast<int64_t>(value);
    }
    return number;
}

}  // namespace Vorn

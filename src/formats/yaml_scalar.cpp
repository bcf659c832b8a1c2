#include "formats/yaml_scalar.h"

#include <yaml.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string_view>

#include "binding/native_conversion.h"
#include "binding/number_text.h"
#include "support/message_format.h"

namespace Vorn {

namespace {

constexpr const char* kUnsupportedTag = "Unsupported YAML tag '%1'.";

// Tagged numbers are converted as a native member named "yaml" would be.
constexpr std::string_view kConversionPath = "yaml";

// Sized by their lists: a size written out would pad a shorter list with
// empty words.
constexpr auto kTrueWords =
    std::to_array<std::string_view>({"true", "True", "TRUE", "y", "Y", "yes", "Yes", "YES", "on", "On", "ON"});
constexpr auto kFalseWords =
    std::to_array<std::string_view>({"false", "False", "FALSE", "n", "N", "no", "No", "NO", "off", "Off", "OFF"});
constexpr auto kNullWords = std::to_array<std::string_view>({"", "~", "null", "Null", "NULL"});

template <std::size_t N>
bool IsOneOf(std::string_view text, const std::array<std::string_view, N>& words) {
    return std::find(words.begin(), words.end(), text) != words.end();
}

bool ReadBoolWord(std::string_view text, bool& out) {
    if (IsOneOf(text, kTrueWords)) {
        out = true;
    } else if (IsOneOf(text, kFalseWords)) {
        out = false;
    } else {
        return false;
    }
    return true;
}

// False when the text is no number, or positive infinity, which reads as a
// word.
bool SetPlainNumber(BindingProperty& target, std::string_view text) {
    const NumberText number = ReadNumberText(text);
    switch (number.kind) {
        case NumberText::Kind::NotANumber: return false;
        case NumberText::Kind::Unsigned: target.SetUnsigned(number.u); return true;
        case NumberText::Kind::Signed: target.SetSigned(number.i); return true;
        case NumberText::Kind::Float:
            if (number.d == std::numeric_limits<double>::infinity()) return false;
            target.SetDouble(number.d);
            return true;
    }
    return false;
}

void TypePlainScalar(BindingProperty& target, std::string_view text) {
    if (IsOneOf(text, kNullWords)) {
        target.Reset();
        return;
    }
    if (SetPlainNumber(target, text)) return;
    bool truth = false;
    if (ReadBoolWord(text, truth)) {
        target.SetBool(truth);
    } else {
        target.SetString(text);
    }
}

}  // namespace

void YamlScalarToValue(BindingResult& result, BindingProperty& target, const char* tag, const char* text,
                       std::size_t length, bool quoted) {
    if (!result.ok) return;
    const std::string_view value(text, length);
    if (tag == nullptr) {
        if (quoted) {
            target.SetString(value);
        } else {
            TypePlainScalar(target, value);
        }
        return;
    }
    if (std::strcmp(tag, YAML_STR_TAG) == 0) {
        target.SetString(value);
    } else if (std::strcmp(tag, YAML_INT_TAG) == 0) {
        if (!value.empty() && value[0] == '-') {
            int64_t number = 0;
            if (TextToSigned(result, value, kConversionPath, INT64_MIN, INT64_MAX, "int64_t", number)) {
                target.SetSigned(number);
            }
        } else {
            uint64_t number = 0;
            if (TextToUnsigned(result, value, kConversionPath, UINT64_MAX, "uint64_t", number)) {
                target.SetUnsigned(number);
            }
        }
    } else if (std::strcmp(tag, YAML_FLOAT_TAG) == 0) {
        double number = 0.0;
        constexpr double kMax = std::numeric_limits<double>::max();
        if (TextToFloating(result, value, kConversionPath, -kMax, kMax, "double", number)) target.SetDouble(number);
    } else if (std::strcmp(tag, YAML_BOOL_TAG) == 0) {
        bool truth = false;
        if (ReadBoolWord(value, truth)) target.SetBool(truth);
    } else {
        result.Fail(FormatMessage(kUnsupportedTag, {tag}));
    }
}

}  // namespace Vorn

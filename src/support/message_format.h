#pragma once
// The two message formatters every component builds its texts with.
//
// Positional formatting, FormatPositional(buffer, capacity, format, args):
//   %%          a percent sign
//   %N          argument N (1-based, first digit 1-9, N <= argument count) in
//               its natural form: texts as they are, integers in decimal
//   %N$spec     argument N under a printf specification, e.g. %2$-8s
//   %spec       the next argument in sequence under a printf specification;
//               the sequence starts at 1 and numbered references do not move it
//   spec        flags "-+ #0", width (digits or *), optional .precision
//               (digits or *), an optional length modifier (hh h l ll L j z t,
//               accepted and ignored: the argument's own type decides), and one
//               conversion of "diouxXcfFeEgGaAsp". A * takes the next argument
//               in sequence. At most 59 characters from % to the conversion.
//   Digits after % that exceed the argument count are read as a width.
// Formatting stops, keeping what was written, at a malformed or too long
// specification, at a reference past the last argument, and when the buffer
// is full. The buffer is always NUL-terminated; the return value is the
// number of characters written before the NUL.
//
// Named templates, FormatNamed(template, args, positional, fields):
//   {{ and }}   literal braces;  %% is kept as %% for the positional stage
//   {name}      the next argument; written as %k into the positional text,
//               and recorded as a named field. The field name gets the suffix
//               of the argument's kind (_bool, _int, _float, _str) unless it
//               already ends with one of _bool _int _long _float _str _time _ip.
//   {name:spec} as {name}, printed under the printf specification spec;
//               other options (a leading #, trailing ! ? @) are accepted and
//               ignored
//   %spec       a printf specification also takes the next argument.
// The readable message is FormatPositional of the positional text.
#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "support/format_arg.h"

namespace Vorn {

inline constexpr std::size_t kMessageCapacity = 4096;
inline constexpr std::size_t kMaxPrintfSpecLength = 59;

std::size_t FormatPositional(char* buffer, std::size_t capacity, const char* format,
                             std::span<const FormatArg> args);

inline std::size_t FormatPositional(char* buffer, std::size_t capacity, const char* format,
                                    std::initializer_list<FormatArg> args) {
    return FormatPositional(buffer, capacity, format, std::span<const FormatArg>(args.begin(), args.size()));
}

// Formats into a 4096-byte buffer and returns the text (at most 4095 bytes).
std::string FormatMessage(const char* format, std::span<const FormatArg> args);
inline std::string FormatMessage(const char* format, std::initializer_list<FormatArg> args) {
    return FormatMessage(format, std::span<const FormatArg>(args.begin(), args.size()));
}

struct NamedField {
    enum class Kind { Bool, Integer, Float, Text, Pointer };
    std::string name;
    Kind kind;
    int64_t integer = 0;  // bools and integers (unsigned values keep their bits)
    double number = 0.0;
    std::string text;
};

void FormatNamed(const char* templateText, std::span<const FormatArg> args, std::string& positional,
                 std::vector<NamedField>& fields);

}  // namespace Vorn

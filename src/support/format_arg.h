#pragma once
// A typed argument of the message formatters: each value knows how to print
// itself in its natural form and under a printf conversion.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace Vorn {

// A resolved printf specification: flags, width and precision are numbers by
// now ("*" has been read from its argument); the length modifier the caller
// wrote is not kept, because the argument's own type decides it.
struct PrintfSpec {
    char flags[6] = {};  // any of "-+ #0", NUL-terminated
    int width = -1;      // -1: none
    int precision = -1;  // -1: none
    char conversion = 's';
};

class FormatArg {
public:
    enum class Kind : uint8_t { Text, Signed32, Unsigned32, Signed64, Unsigned64, Double, Bool, Pointer };

    FormatArg(const char* text) : kind_(Kind::Text), text_(text != nullptr ? text : "") {}
    FormatArg(std::string_view text) : kind_(Kind::Text), text_(text) {}
    FormatArg(const std::string& text) : kind_(Kind::Text), text_(text) {}
    FormatArg(bool value) : kind_(Kind::Bool) { unsigned_ = value ? 1 : 0; }
    FormatArg(double value) : kind_(Kind::Double), double_(value) {}
    FormatArg(float value) : FormatArg(static_cast<double>(value)) {}
    FormatArg(const void* pointer) : kind_(Kind::Pointer), pointer_(pointer) {}
    FormatArg(std::nullptr_t) : FormatArg(static_cast<const void*>(nullptr)) {}

    template <typename T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                               !std::is_same_v<T, char>, int> = 0>
    FormatArg(T value) {
        if constexpr (std::is_signed_v<T>) {
            kind_ = sizeof(T) <= 4 ? Kind::Signed32 : Kind::Signed64;
            signed_ = static_cast<int64_t>(value);
        } else {
            kind_ = sizeof(T) <= 4 ? Kind::Unsigned32 : Kind::Unsigned64;
            unsigned_ = static_cast<uint64_t>(value);
        }
    }

    Kind kind() const { return kind_; }
    bool IsInteger() const;
    std::string_view Text() const { return text_; }
    int64_t AsSigned() const;     // integers, bools and doubles (truncated); 0 for others
    double AsDouble() const;

    // Print into out (capacity includes the terminating NUL). Returns the
    // length the full output has, which may exceed what fit, like snprintf.
    std::size_t PrintNatural(char* out, std::size_t capacity) const;
    std::size_t Print(char* out, std::size_t capacity, const PrintfSpec& spec) const;

private:
    std::size_t PrintText(char* out, std::size_t capacity, const PrintfSpec& spec, std::string_view text) const;

    Kind kind_ = Kind::Text;
    union {
        int64_t signed_ = 0;
        uint64_t unsigned_;
        double double_;
        const void* pointer_;
    };
    std::string_view text_;
};

}  // namespace Vorn

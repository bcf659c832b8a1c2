#pragma once
// A type identifier: one static per native type, holding its fixed 32-bit
// value and the text "#" + eight upper-case hexadecimal digits.
#include <cstdint>

namespace Vorn {

struct TypeIdentifier {
    uint32_t value;
    char text[10];
};

// Builds the identifier and its text at compile time.
constexpr TypeIdentifier MakeTypeIdentifier(uint32_t value) {
    constexpr char kHex[] = "0123456789ABCDEF";
    TypeIdentifier id{value, {}};
    id.text[0] = '#';
    for (int i = 0; i < 8; ++i) id.text[1 + i] = kHex[(value >> (28 - 4 * i)) & 0xF];
    id.text[9] = '\0';
    return id;
}

}  // namespace Vorn

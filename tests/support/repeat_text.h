#pragma once
// Texts built by repetition, for inputs at and beyond the nesting limits.
#include <cstddef>
#include <string>
#include <string_view>

namespace Vorn::Testing {

inline std::string Repeat(std::string_view piece, std::size_t count) {
    std::string text;
    text.reserve(piece.size() * count);
    for (std::size_t i = 0; i < count; ++i) text += piece;
    return text;
}

}  // namespace Vorn::Testing

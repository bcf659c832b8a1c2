#pragma once
// A hash of texts that lets a std::string-keyed unordered map be searched
// with a view or a C string as it stands, without making a key first (a
// std::string of a name past its short-string room takes a heap block).
// Pair it with std::equal_to<>.
#include <cstddef>
#include <functional>
#include <string_view>

namespace Vorn {

struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
};

}  // namespace Vorn

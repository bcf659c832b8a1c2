#pragma once
// A string interned in a value arena: stored once per tree however many
// values hold it, found by its FNV-1a hash, freed when the last holder lets go.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace Vorn {

constexpr uint32_t kFnvOffsetBasis = 0x811C9DC5u;
constexpr uint32_t kFnvPrime = 0x01000193u;

constexpr uint32_t Fnv1a(std::string_view text, uint32_t hash = kFnvOffsetBasis) {
    for (char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * kFnvPrime;
    return hash;
}

inline uint32_t Fnv1aBytes(const void* data, std::size_t length, uint32_t hash = kFnvOffsetBasis) {
    return Fnv1a(std::string_view(static_cast<const char*>(data), length), hash);
}

// The text follows the header in the same block and is NUL-terminated, so
// it can be handed out as a C string; its length may count embedded NULs.
struct InternedString {
    uint32_t hash;
    uint32_t references;   // 0 for the shared empty string, which is never counted
    uint32_t length;

    const char* Text() const { return reinterpret_cast<const char*>(this + 1); }
    std::string_view View() const { return std::string_view(Text(), length); }
};

}  // namespace Vorn

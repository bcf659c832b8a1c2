#pragma once
// A counted string of a value arena, freed when the last holder lets go: a
// member's name, interned (stored once per tree however many structures
// name it), or a value's text, which copies inside the tree share.
#include <cstddef>
#include <cstdint>
#include <cstring>
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

// An unaligned word of text, in the machine's byte order.
template <typename Word>
inline Word LoadWord(const char* p) {
    Word word;
    std::memcpy(&word, p, sizeof(word));
    return word;
}

// Folds two words into one: the halves of their 128-bit product, each bit of
// the result depending on every bit of both words.
inline uint64_t FoldMultiply(uint64_t a, uint64_t b) {
#if defined(__SIZEOF_INT128__)
    const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    return static_cast<uint64_t>(product) ^ static_cast<uint64_t>(product >> 64);
#else
    // 32-bit targets: two rounds of a 64-bit finalizer.
    uint64_t h = a ^ (b * 0xFF51AFD7ED558CCDull);
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return h;
#endif
}

// The hash the arenas' intern tables use. FNV-1a takes a multiplication per
// byte, one after the other; this takes one per sixteen bytes, which is what
// made interning cheap enough for every string a reader meets.
inline uint32_t TextTableHash(const char* text, std::size_t length) {
    constexpr uint64_t kOdd1 = 0x9E3779B97F4A7C15ull;
    constexpr uint64_t kOdd2 = 0xC2B2AE3D27D4EB4Full;
    uint64_t a;
    uint64_t b;
    uint64_t seed = kOdd2 ^ length;
    if (length <= 16) {
        if (length >= 8) {
            a = LoadWord<uint64_t>(text);
            b = LoadWord<uint64_t>(text + length - 8);
        } else if (length >= 4) {
            a = LoadWord<uint32_t>(text);
            b = LoadWord<uint32_t>(text + length - 4);
        } else {
            a = length == 0 ? 0
                            : (uint64_t{static_cast<unsigned char>(text[0])} << 16) |
                                  (uint64_t{static_cast<unsigned char>(text[length / 2])} << 8) |
                                  static_cast<unsigned char>(text[length - 1]);
            b = 0;
        }
    } else {
        const char* p = text;
        for (const char* end = text + length - 16; p < end; p += 16) {
            seed = FoldMultiply(LoadWord<uint64_t>(p) ^ kOdd1, LoadWord<uint64_t>(p + 8) ^ seed);
        }
        // The last sixteen bytes, overlapping what came before.
        a = LoadWord<uint64_t>(text + length - 16);
        b = LoadWord<uint64_t>(text + length - 8);
    }
    return static_cast<uint32_t>(FoldMultiply(a ^ kOdd1, b ^ seed));
}

// Whether two texts of length n are equal: short ones (names, mostly) are
// compared a word at a time without a call.
inline bool SameText(const char* a, const char* b, std::size_t n) {
    if (n >= 8) {
        if (n > 16) return std::memcmp(a, b, n) == 0;
        return ((LoadWord<uint64_t>(a) ^ LoadWord<uint64_t>(b)) |
                (LoadWord<uint64_t>(a + n - 8) ^ LoadWord<uint64_t>(b + n - 8))) == 0;
    }
    if (n >= 4) {
        return ((LoadWord<uint32_t>(a) ^ LoadWord<uint32_t>(b)) |
                (LoadWord<uint32_t>(a + n - 4) ^ LoadWord<uint32_t>(b + n - 4))) == 0;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

// The text follows the header in the same block and is NUL-terminated, so
// it can be handed out as a C string; its length may count embedded NULs.
struct InternedString {
    // The text's FNV-1a hash, worked out when read. It is not kept: the
    // intern table finds texts by TextTableHash, and hashing every new
    // string byte by byte again only to store this cost more than the rest
    // of interning.
    struct TextHash {
        operator uint32_t() const;
    };
    [[no_unique_address]] TextHash hash;
    uint32_t references;   // 0 for the shared empty string, which is never counted
    uint32_t length;
    uint32_t id;           // the entry's number in its arena (0: the empty string)

    const char* Text() const { return reinterpret_cast<const char*>(this + 1); }
    std::string_view View() const { return std::string_view(Text(), length); }
};

// hash is the first member of a standard-layout record, so it shares the
// record's address.
inline InternedString::TextHash::operator uint32_t() const {
    return Fnv1a(reinterpret_cast<const InternedString*>(this)->View());
}

}  // namespace Vorn

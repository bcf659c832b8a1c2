#include "binding/base64.h"

namespace Vorn {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

void EncodeBase64(std::span<const uint8_t> bytes, std::string& out) {
    out.reserve(out.size() + (bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t bits = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        out += kAlphabet[bits >> 18];
        out += kAlphabet[(bits >> 12) & 63];
        out += kAlphabet[(bits >> 6) & 63];
        out += kAlphabet[bits & 63];
    }
    if (i + 1 == bytes.size()) {
        const uint32_t bits = uint32_t{bytes[i]} << 16;
        out += kAlphabet[bits >> 18];
        out += kAlphabet[(bits >> 12) & 63];
        out += "==";
    } else if (i + 2 == bytes.size()) {
        const uint32_t bits = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8);
        out += kAlphabet[bits >> 18];
        out += kAlphabet[(bits >> 12) & 63];
        out += kAlphabet[(bits >> 6) & 63];
        out += '=';
    }
}

bool DecodeBase64(std::string_view text, std::vector<uint8_t>& out) {
    if (text.size() % 4 != 0) return false;
    out.clear();
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int v[4];
        int padding = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text[i + k];
            if (c == '=' && last && k >= 2) {
                v[k] = 0;
                ++padding;
            } else if (padding != 0 || (v[k] = Base64Value(c)) < 0) {
                return false;  // a character outside the alphabet, or data after padding
            }
        }
        const uint32_t bits = (static_cast<uint32_t>(v[0]) << 18) | (static_cast<uint32_t>(v[1]) << 12) |
                              (static_cast<uint32_t>(v[2]) << 6) | static_cast<uint32_t>(v[3]);
        out.push_back(static_cast<uint8_t>(bits >> 16));
        if (padding < 2) out.push_back(static_cast<uint8_t>(bits >> 8));
        if (padding < 1) out.push_back(static_cast<uint8_t>(bits));
    }
    return true;
}

}  // namespace Vorn

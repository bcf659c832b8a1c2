#include "dispatch/url_decode.h"

namespace Vorn {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string UrlDecode(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (text.size() - i < 3) continue;  // too short to be an escape: dropped
            const int high = HexDigit(text[i + 1]);
            const int low = HexDigit(text[i + 2]);
            // Not an escape: the "%" stays, rather than turning into a byte
            // nobody sent.
            if (high < 0 || low < 0) {
                decoded += '%';
                continue;
            }
            decoded += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            decoded += c == '+' ? ' ' : c;
        }
    }
    return decoded;
}

}  // namespace Vorn

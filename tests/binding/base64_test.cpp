#include "binding/base64.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Vorn {
namespace {

using Bytes = std::vector<uint8_t>;

std::string Encode(const Bytes& bytes) {
    std::string text;
    EncodeBase64(bytes, text);
    return text;
}

TEST(Base64, EncodesEveryLengthModuloThreeWithItsPadding) {
    const struct {
        const char* description;
        Bytes bytes;
        std::string text;
    } cases[] = {
        {"empty", {}, ""},
        {"one byte: two characters and ==", {0x4D}, "TQ=="},
        {"two bytes: three characters and =", {0x4D, 0x61}, "TWE="},
        {"three bytes: no padding", {0x4D, 0x61, 0x6E}, "TWFu"},
        {"four bytes", {0x4D, 0x61, 0x6E, 0x4D}, "TWFuTQ=="},
        {"five bytes", {0x4D, 0x61, 0x6E, 0x4D, 0x61}, "TWFuTWE="},
        {"six bytes", {0x4D, 0x61, 0x6E, 0x4D, 0x61, 0x6E}, "TWFuTWFu"},
        {"zero bytes are A", {0x00, 0x00, 0x00}, "AAAA"},
        {"the last two letters of the alphabet", {0xFB, 0xFF, 0xBF}, "+/+/"},
        {"a zero byte alone", {0x00}, "AA=="},
        {"all bits set, one short of a group", {0xFF, 0xFF}, "//8="},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Encode(c.bytes), c.text) << c.description;
        Bytes decoded{0xEE};  // replaced, not appended to
        EXPECT_TRUE(DecodeBase64(c.text, decoded)) << c.description;
        EXPECT_EQ(decoded, c.bytes) << c.description;
    }
}

TEST(Base64, EncodingAppendsToWhatTheTextHolds) {
    std::string text = "data:";
    EncodeBase64(Bytes{0x4D, 0x61}, text);
    EXPECT_EQ(text, "data:TWE=");
}

TEST(Base64, RejectsMalformedText) {
    const struct {
        const char* description;
        std::string text;
    } cases[] = {
        {"length not a multiple of four", "TWF"},
        {"one character", "T"},
        {"missing padding", "TQ"},
        {"too much padding", "TQ==="},
        {"padding in the second place", "T==="},
        {"padding alone", "===="},
        {"data after padding in the group", "TQ=u"},
        {"padding in an earlier group", "TQ==TWFu"},
        {"a character outside the alphabet", "TW*u"},
        {"URL-safe alphabet", "-_-_"},
        {"white space", "TW u"},
        {"line break", "TWFu\nTWF"},
        {"a NUL byte", std::string("TW\0u", 4)},
        {"a byte above 0x7F", "TW\xC3\xA9"},
    };
    for (const auto& c : cases) {
        Bytes decoded;
        EXPECT_FALSE(DecodeBase64(c.text, decoded)) << c.description;
    }
}

TEST(Base64, EveryByteValueRoundTripsAtEveryLengthModuloThree) {
    Bytes all(256);
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint8_t>(i);
    for (std::size_t length : {253u, 254u, 255u, 256u}) {
        const Bytes bytes(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(length));
        const std::string text = Encode(bytes);
        EXPECT_EQ(text.size(), (length + 2) / 3 * 4) << length;
        Bytes decoded;
        ASSERT_TRUE(DecodeBase64(text, decoded)) << length;
        EXPECT_EQ(decoded, bytes) << length;
    }
}

}  // namespace
}  // namespace Vorn

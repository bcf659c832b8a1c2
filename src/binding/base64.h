#pragma once
// Base64 with the standard alphabet and "=" padding, no line breaks: how
// byte arrays travel inside text formats.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Vorn {

// Appends the encoding of bytes to out.
void EncodeBase64(std::span<const uint8_t> bytes, std::string& out);
// False (out unspecified) unless text is well-formed padded Base64.
bool DecodeBase64(std::string_view text, std::vector<uint8_t>& out);

}  // namespace Vorn

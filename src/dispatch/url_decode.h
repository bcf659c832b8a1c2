#pragma once
// Percent-decoding of path parameters and query pieces.
#include <string>
#include <string_view>

namespace Vorn {

// One pass: "%" and two hexadecimal digits (either case) give that byte; "+"
// gives a space; every other character is copied. A "%" whose next two
// characters are not both hexadecimal digits is copied as it is, and what
// follows it is decoded as usual; a "%" with fewer than two characters after
// it is dropped.
std::string UrlDecode(std::string_view text);

}  // namespace Vorn

#pragma once
// PascalCase identifiers from dash-separated names and from a method with a
// path: "qel-featured-modes" gives "QelFeaturedModes", GET with
// "/x/{id}/y" gives "GetXByIdY".
#include <string>
#include <string_view>

namespace Vorn {

// An empty method contributes nothing. Otherwise the method comes first, as
// its first character then the rest in lower case, and a "/". Then, starting
// capitalised: "!", "+", "-", ".", "/" and "_" are dropped and capitalise the
// next character; "{" writes "By" and capitalises; "}" is dropped.
std::string ToIdentifier(std::string_view method, std::string_view name);

}  // namespace Vorn

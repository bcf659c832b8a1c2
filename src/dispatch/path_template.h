#pragma once
// Path templates of exposed functions and the patterns they compile to.
//
// Grammar, one pass over the template:
//   {name}    a placeholder of one path segment: ([^/]*)
//   {+name}   the rest of the path, slashes included: (.*)
//   {#name}   a fragment: #(.*)
// Outside placeholders, each of ^ $ . * + ? ( ) [ ] | \ is written escaped and
// every other character as it is. Inside one, the first "+" or "#" picks the
// kind; every other character belongs to the name. A placeholder left open at
// the end writes nothing. A "}" outside a placeholder is refused.
//
// The pattern text is the ECMAScript regular expression the template stands
// for. It is matched by PathPattern itself, with the same full-match and
// greedy semantics: a general regular-expression engine recurses once per
// character of the path, so a long path from the host would exhaust the
// stack, and these patterns need nothing more than literals and the two
// capture shapes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Vorn {

enum class PlaceholderKind : uint32_t { Segment = 1, Rest = 2, Fragment = 3 };

struct PathPlaceholder {
    PlaceholderKind kind = PlaceholderKind::Segment;
    std::string name;

    bool operator==(const PathPlaceholder&) const = default;
};

class PathPattern {
public:
    const std::string& Text() const { return text_; }
    // One per capture group, in order.
    const std::vector<PathPlaceholder>& Placeholders() const { return placeholders_; }

    // Whether the whole path matches; captures receives one view into path
    // per placeholder. "." does not match "\n" or "\r", as in ECMAScript.
    bool Match(std::string_view path, std::vector<std::string_view>& captures) const;

private:
    friend bool CompilePathTemplate(std::string_view, PathPattern&, std::string*);

    struct Token {
        enum class Kind : uint8_t { Literal, Segment, Rest } kind;
        std::string literal;  // Literal only
        std::size_t capture;  // Segment and Rest: the capture group's index
    };
    class Matcher;

    std::string text_;
    std::vector<PathPlaceholder> placeholders_;
    std::vector<Token> tokens_;
};

// False, with the reason in error (may be null), when the template has a "}"
// outside a placeholder.
bool CompilePathTemplate(std::string_view templateText, PathPattern& out, std::string* error);

}  // namespace Vorn

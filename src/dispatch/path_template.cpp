#include "dispatch/path_template.h"

#include <cstdint>
#include <vector>

#include "support/message_format.h"

namespace Vorn {

namespace {

constexpr const char* kStrayBrace = "Path template '%1' has a '}' outside a placeholder.";
constexpr std::string_view kEscaped = "^$.*+?()[]|\\";

bool IsLineTerminator(char c) { return c == '\n' || c == '\r'; }

}  // namespace

// The match an ECMAScript engine finds for these patterns, in time linear in
// the path for a given template. A backtracking engine tries each capture's
// longest extent first and takes the first that lets the rest match; so a
// capture ends at the farthest point within its reach from which the rest of
// the tokens match. Which (token, position) pairs can match the rest is
// worked out first, token by token from the last, each row in one pass over
// the path; then the captures are taken from the left. (Backtracking, even
// remembering failures, tried every end of every capture from every
// position: quadratic in the path, seconds for a kilobyte-long one against a
// template of many placeholders.)
class PathPattern::Matcher {
public:
    Matcher(const std::vector<Token>& tokens, std::string_view path)
        : tokens_(tokens), path_(path), width_(path.size() + 1), rest_((tokens.size() + 1) * width_, false) {}

    bool Run(std::vector<std::string_view>& captures) {
        const std::size_t size = path_.size();
        Set(tokens_.size(), size);
        for (std::size_t index = tokens_.size(); index-- > 0;) {
            const Token& token = tokens_[index];
            if (token.kind == Token::Kind::Literal) {
                const std::size_t length = token.literal.size();
                for (std::size_t p = 0; p + length <= size; ++p) {
                    if (Get(index + 1, p + length) && path_.compare(p, length, token.literal) == 0) Set(index, p);
                }
                continue;
            }
            // From the right: the nearest position at or after p where the
            // rest matches, and where the capture's reach from p ends.
            std::size_t nearest = kNone;
            std::size_t stop = size;
            for (std::size_t p = size + 1; p-- > 0;) {
                if (p < size && Stops(token, path_[p])) stop = p;
                if (Get(index + 1, p)) nearest = p;
                if (nearest != kNone && nearest <= stop) Set(index, p);
            }
        }
        if (!Get(0, 0)) return false;
        std::size_t position = 0;
        for (std::size_t index = 0; index < tokens_.size(); ++index) {
            const Token& token = tokens_[index];
            if (token.kind == Token::Kind::Literal) {
                position += token.literal.size();
                continue;
            }
            std::size_t reach = position;
            while (reach < size && !Stops(token, path_[reach])) ++reach;
            std::size_t end = reach;
            while (!Get(index + 1, end)) --end;  // one exists: (index, position) matches
            captures[token.capture] = path_.substr(position, end - position);
            position = end;
        }
        return true;
    }

private:
    static constexpr std::size_t kNone = SIZE_MAX;

    static bool Stops(const Token& token, char c) {
        return token.kind == Token::Kind::Segment ? c == '/' : IsLineTerminator(c);
    }
    bool Get(std::size_t index, std::size_t position) const { return rest_[index * width_ + position]; }
    void Set(std::size_t index, std::size_t position) { rest_[index * width_ + position] = true; }

    const std::vector<Token>& tokens_;
    std::string_view path_;
    std::size_t width_;
    // Whether tokens [index, end) match the path from position on.
    std::vector<bool> rest_;
};

bool PathPattern::Match(std::string_view path, std::vector<std::string_view>& captures) const {
    captures.assign(placeholders_.size(), {});
    Matcher matcher(tokens_, path);
    return matcher.Run(captures);
}

bool CompilePathTemplate(std::string_view templateText, PathPattern& out, std::string* error) {
    PathPattern pattern;
    auto literal = [&](char c) {
        if (pattern.tokens_.empty() || pattern.tokens_.back().kind != PathPattern::Token::Kind::Literal) {
            pattern.tokens_.push_back({PathPattern::Token::Kind::Literal, {}, 0});
        }
        pattern.tokens_.back().literal += c;
    };
    bool inside = false;
    bool first = false;  // the next character is the placeholder's first
    PathPlaceholder placeholder;
    for (char c : templateText) {
        if (!inside) {
            if (c == '{') {
                inside = true;
                first = true;
                placeholder = PathPlaceholder{};
            } else if (c == '}') {
                // It would pair every later capture with the wrong name.
                if (error != nullptr) *error = FormatMessage(kStrayBrace, {templateText});
                return false;
            } else {
                if (kEscaped.find(c) != std::string_view::npos) pattern.text_ += '\\';
                pattern.text_ += c;
                literal(c);
            }
            continue;
        }
        if (c == '}') {
            inside = false;
            const std::size_t capture = pattern.placeholders_.size();
            switch (placeholder.kind) {
                case PlaceholderKind::Segment:
                    pattern.text_ += "([^/]*)";
                    pattern.tokens_.push_back({PathPattern::Token::Kind::Segment, {}, capture});
                    break;
                case PlaceholderKind::Rest:
                    pattern.text_ += "(.*)";
                    pattern.tokens_.push_back({PathPattern::Token::Kind::Rest, {}, capture});
                    break;
                case PlaceholderKind::Fragment:
                    pattern.text_ += "#(.*)";
                    literal('#');
                    pattern.tokens_.push_back({PathPattern::Token::Kind::Rest, {}, capture});
                    break;
            }
            pattern.placeholders_.push_back(std::move(placeholder));
        } else if (first && c == '+') {
            placeholder.kind = PlaceholderKind::Rest;
        } else if (first && c == '#') {
            placeholder.kind = PlaceholderKind::Fragment;
        } else {
            placeholder.name += c;
        }
        first = false;
    }
    out = std::move(pattern);
    return true;
}

}  // namespace Vorn

#include "dispatch/path_template.h"

#include <cstdint>
#include <unordered_set>

#include "support/message_format.h"

namespace Vorn {

namespace {

constexpr const char* kStrayBrace = "Path template '%1' has a '}' outside a placeholder.";
constexpr std::string_view kEscaped = "^$.*+?()[]|\\";

bool IsLineTerminator(char c) { return c == '\n' || c == '\r'; }

}  // namespace

// Greedy backtracking over the tokens, as an ECMAScript engine runs these
// patterns: each capture tries its longest extent first. Recursion goes one
// level per token, never per character. With two or more captures the same
// (token, position) can be reached along different ways; a failure there is
// remembered so that no way is tried twice.
class PathPattern::Matcher {
public:
    Matcher(const std::vector<Token>& tokens, std::string_view path, std::vector<std::string_view>& captures,
            bool remember)
        : tokens_(tokens), path_(path), captures_(captures), remember_(remember) {}

    bool From(std::size_t index, std::size_t position) {
        if (index == tokens_.size()) return position == path_.size();
        const uint64_t state = static_cast<uint64_t>(position) * (tokens_.size() + 1) + index;
        if (remember_ && failed_.count(state) != 0) return false;
        const bool matched = Try(index, position);
        if (!matched && remember_) failed_.insert(state);
        return matched;
    }

private:
    bool Try(std::size_t index, std::size_t position) {
        const Token& token = tokens_[index];
        if (token.kind == Token::Kind::Literal) {
            if (path_.compare(position, token.literal.size(), token.literal) != 0) return false;
            return From(index + 1, position + token.literal.size());
        }
        // The farthest this capture can reach.
        std::size_t limit = position;
        if (token.kind == Token::Kind::Segment) {
            while (limit < path_.size() && path_[limit] != '/') ++limit;
        } else {
            while (limit < path_.size() && !IsLineTerminator(path_[limit])) ++limit;
        }
        auto take = [&](std::size_t end) {
            captures_[token.capture] = path_.substr(position, end - position);
            return From(index + 1, end);
        };
        if (index + 1 == tokens_.size()) return limit == path_.size() && take(limit);
        const Token& next = tokens_[index + 1];
        if (next.kind == Token::Kind::Literal) {
            // Only where the next literal starts can the match go on; the
            // search stays within the capture's reach.
            const std::string_view reach = path_.substr(position, limit - position + next.literal.size());
            for (std::size_t at = reach.rfind(next.literal); at != std::string_view::npos;
                 at = at == 0 ? std::string_view::npos : reach.rfind(next.literal, at - 1)) {
                if (take(position + at)) return true;
            }
            return false;
        }
        for (std::size_t end = limit + 1; end-- > position;) {
            if (take(end)) return true;
        }
        return false;
    }

    const std::vector<Token>& tokens_;
    std::string_view path_;
    std::vector<std::string_view>& captures_;
    bool remember_;
    std::unordered_set<uint64_t> failed_;
};

bool PathPattern::Match(std::string_view path, std::vector<std::string_view>& captures) const {
    captures.assign(placeholders_.size(), {});
    Matcher matcher(tokens_, path, captures, placeholders_.size() > 1);
    return matcher.From(0, 0);
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

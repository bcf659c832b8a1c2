// Path templates, their matching, URL decoding and the selection of routes.
#include <gtest/gtest.h>

#include <deque>
#include <regex>
#include <string>
#include <vector>

#include "dispatch/parameter_map.h"
#include "dispatch/path_template.h"
#include "dispatch/routing.h"
#include "dispatch/url_decode.h"

namespace Vorn {
namespace {

TEST(UrlDecode, EscapesPlusAndMalformedPercents) {
    const struct {
        const char* text;
        std::string decoded;
        const char* what;
    } cases[] = {
        {"a+b%41%4", "a bA4", "a % with one character after it is dropped"},
        {"%2f%2F%7e", "//~", "either case"},
        {"%zz", "%zz", "not hexadecimal: the % stays"},
        {"%g1", "%g1", "the first digit is not hexadecimal"},
        {"%4g", "%4g", "the second digit is not hexadecimal"},
        {"%%41", "%A", "what follows a kept % is decoded as usual"},
        {"%+4", "% 4", "a + after a kept % is still a space"},
        {"%", "", "a lone % is dropped"},
        {"a%", "a", "a trailing % is dropped"},
        {"%00x", std::string("\0x", 2), "a NUL byte"},
        {"%FF", "\xFF", "the highest byte"},
        {"", "", "empty"},
        {"plain/text", "plain/text", "nothing to decode"},
    };
    for (const auto& c : cases) EXPECT_EQ(UrlDecode(c.text), c.decoded) << c.what;
}

TEST(PathTemplate, CompilesToPatternAndPlaceholders) {
    using K = PlaceholderKind;
    const struct {
        const char* templateText;
        const char* pattern;
        std::vector<PathPlaceholder> placeholders;
    } cases[] = {
        {"/v1/items/{id}", "/v1/items/([^/]*)", {{K::Segment, "id"}}},
        {"/files/{+path}", "/files/(.*)", {{K::Rest, "path"}}},
        {"/doc{#part}", "/doc#(.*)", {{K::Fragment, "part"}}},
        {"/q.{x}", "/q\\.([^/]*)", {{K::Segment, "x"}}},
        {"^$.*+?()[]|\\", "\\^\\$\\.\\*\\+\\?\\(\\)\\[\\]\\|\\\\", {}},
        {"/a/{x}/b/{+y}", "/a/([^/]*)/b/(.*)", {{K::Segment, "x"}, {K::Rest, "y"}}},
        {"/items/{id", "/items/", {}},                       // left open: nothing written, nothing listed
        {"{}", "([^/]*)", {{K::Segment, ""}}},
        {"{++x}", "(.*)", {{K::Rest, "+x"}}},                // only the first character picks the kind
        {"{a+b#c}", "([^/]*)", {{K::Segment, "a+b#c"}}},
        {"{a{b}", "([^/]*)", {{K::Segment, "a{b"}}},
    };
    for (const auto& c : cases) {
        PathPattern pattern;
        std::string error;
        ASSERT_TRUE(CompilePathTemplate(c.templateText, pattern, &error)) << c.templateText << ": " << error;
        EXPECT_EQ(pattern.Text(), c.pattern) << c.templateText;
        EXPECT_EQ(pattern.Placeholders(), c.placeholders) << c.templateText;
    }
}

TEST(PathTemplate, RefusesABraceOutsideAPlaceholder) {
    for (const char* text : {"/a}b", "/a/{x}}", "}"}) {
        PathPattern pattern;
        std::string error;
        EXPECT_FALSE(CompilePathTemplate(text, pattern, &error)) << text;
        EXPECT_EQ(error, "Path template '" + std::string(text) + "' has a '}' outside a placeholder.");
    }
}

// The captures of a full match, or "no match".
std::string MatchText(const char* templateText, std::string_view path) {
    PathPattern pattern;
    EXPECT_TRUE(CompilePathTemplate(templateText, pattern, nullptr));
    std::vector<std::string_view> captures;
    if (!pattern.Match(path, captures)) return "no match";
    std::string text;
    for (std::string_view capture : captures) text += "[" + std::string(capture) + "]";
    return text;
}

TEST(PathTemplate, MatchesTheWholePathGreedily) {
    const struct {
        const char* templateText;
        const char* path;
        const char* captures;
    } cases[] = {
        {"/a/{x}/b", "/a//b", "[]"},
        {"/a/{x}", "/a/1/2", "no match"},
        {"/a/{+x}", "/a/1/2", "[1/2]"},
        {"/q.{x}", "/qZ1", "no match"},
        {"/q.{x}", "/q.1", "[1]"},
        {"/a/{x}", "/a/1/", "no match"},  // the whole path, not a prefix
        {"/a/{x}", "x/a/1", "no match"},  // nor a suffix
        {"/a/{+x}/{y}", "/a/1/2/3", "[1/2][3]"},
        {"{+x}{+y}", "abc", "[abc][]"},
        {"{x}.{y}", "a.b.c", "[a.b][c]"},
        {"/doc{#part}", "/doc#intro", "[intro]"},
        {"/doc{#part}", "/doc", "no match"},
        {"/f/{+p}", "/f/a\nb", "no match"},  // "." stops at line ends, as in ECMAScript
        {"/f/{p}", "/f/a\nb", "[a\nb]"},
    };
    for (const auto& c : cases) EXPECT_EQ(MatchText(c.templateText, c.path), c.captures) << c.templateText << " " << c.path;
}

// The patterns mean what they say as ECMAScript regular expressions: every
// template of up to three pieces against every short path, compared with
// the standard library's engine (which is fine on paths this short).
TEST(PathTemplate, AgreesWithAnEcmaScriptEngine) {
    const std::vector<std::string> pieces = {"a", "/", ".", "{x}", "{+y}", "{#z}"};
    const std::string alphabet = "a/.#\n";
    std::vector<std::string> templates = {""};
    for (int length = 0, from = 0; length < 3; ++length) {
        const int to = static_cast<int>(templates.size());
        for (int i = from; i < to; ++i) {
            for (const std::string& piece : pieces) templates.push_back(templates[i] + piece);
        }
        from = to;
    }
    std::vector<std::string> paths = {""};
    for (std::size_t i = 0; i < paths.size() && paths[i].size() < 3; ++i) {
        for (char c : alphabet) paths.push_back(paths[i] + c);
    }
    int compared = 0;
    for (const std::string& templateText : templates) {
        PathPattern pattern;
        ASSERT_TRUE(CompilePathTemplate(templateText, pattern, nullptr));
        const std::regex engine(pattern.Text(), std::regex::ECMAScript);
        for (const std::string& path : paths) {
            std::smatch expected;
            const bool expectedMatch = std::regex_match(path, expected, engine);
            std::vector<std::string_view> captures;
            ASSERT_EQ(pattern.Match(path, captures), expectedMatch) << templateText << " on " << path;
            if (!expectedMatch) continue;
            ASSERT_EQ(captures.size() + 1, expected.size());
            for (std::size_t i = 0; i < captures.size(); ++i) {
                EXPECT_EQ(captures[i], expected[i + 1].str()) << templateText << " on " << path << " group " << i + 1;
            }
            ++compared;
        }
    }
    EXPECT_GT(compared, 1000);
}

TEST(PathTemplate, LongPathsDoNotExhaustTheStack) {
    const std::string segment(1 << 20, 'x');
    EXPECT_EQ(MatchText("/files/{+path}", "/files/" + segment + "/" + segment).size(), 2 + 2 * segment.size() + 1);
    EXPECT_EQ(MatchText("/a/{x}/b", "/a/" + segment + "/b").size(), segment.size() + 2);
    EXPECT_EQ(MatchText("/a/{x}/b", "/a/" + segment + "/c"), "no match");
    // Every slash is a place the first capture might end; each is tried
    // once, and the second capture looks no further than its own segment.
    EXPECT_EQ(MatchText("/a/{+x}/{y}/c", "/a/" + std::string(1 << 18, '/')), "no match");
    // Three captures that may each end at any slash: each (capture,
    // position) fails once, not once per way of reaching it.
    EXPECT_EQ(MatchText("/a/{+x}/{+y}/{+z}/c", "/a/" + std::string(3000, '/')), "no match");
    // Adjacent captures may each end anywhere in their reach: no way of
    // sharing the path among them is tried more than once (found by fuzzing:
    // a kilobyte against a hundred placeholders took seconds).
    const std::string letters(1 << 16, 'a');
    EXPECT_EQ(MatchText("/{a}{b}{+c}{d}x", "/" + letters), "no match");
    EXPECT_EQ(MatchText("/{a}{b}{+c}{d}x", "/" + letters + "x").size(), letters.size() + 8)
        << "the first capture takes every letter";
    EXPECT_TRUE(MatchText("/{a}{b}{+c}{d}x", "/" + letters + "/x") == "[" + letters + "][][/][]")
        << "a segment stops at a slash, the rest does not";
}

// Searched while small, indexed when large: either way names keep the order
// they first came in and a name set again keeps its place.
TEST(ParameterMap, FirstOrderAndReplacementAtAnySize) {
    for (int count : {3, 40}) {
        ParameterMap map;
        for (int i = 0; i < count; ++i) map.Set("n" + std::to_string(i), "first " + std::to_string(i));
        for (int i = 0; i < count; i += 2) map.Set("n" + std::to_string(i), "again " + std::to_string(i));
        ASSERT_EQ(map.Size(), static_cast<std::size_t>(count));
        int i = 0;
        for (const auto& [name, text] : map) {
            EXPECT_EQ(name, "n" + std::to_string(i));
            EXPECT_EQ(text, (i % 2 == 0 ? "again " : "first ") + std::to_string(i)) << count;
            ++i;
        }
        ASSERT_NE(map.Find("n1"), nullptr);
        EXPECT_EQ(*map.Find("n1"), "first 1");
        EXPECT_EQ(map.Find("n"), nullptr) << count;
        EXPECT_EQ(map.Find("n" + std::to_string(count)), nullptr) << count;
    }
}

class Routes : public ::testing::Test {
protected:
    const Route& Add(std::string templateText, uint32_t method = 0, std::string customMethod = {}) {
        BindingFunctionDescription& function = functions_.emplace_back();
        function.name = "F" + std::to_string(functions_.size());
        function.pathTemplate = std::move(templateText);
        function.method = method;
        function.customMethod = std::move(customMethod);
        std::string error;
        EXPECT_TRUE(MakeRoute(function, routes_.emplace_back(), &error)) << error;
        return routes_.back();
    }

    // The selected route's function name and its parameters, or "none".
    std::string Select(std::string path, uint32_t method = 2, std::string customMethod = {}) {
        std::vector<Route> routes(routes_.begin(), routes_.end());
        RouteMatch match;
        match.method = method;
        match.customMethod = std::move(customMethod);
        match.path = std::move(path);
        if (!MatchRoutes(match, routes)) return "none";
        std::string text = match.route->name;
        for (const auto& [name, value] : match.parameters) text += " " + name + "=" + value;
        return text;
    }

    std::deque<BindingFunctionDescription> functions_;
    std::deque<Route> routes_;
};

TEST_F(Routes, ATemplateWithoutPlaceholdersOrNoneAtAllIsLiteral) {
    const Route& items = Add("items");
    EXPECT_TRUE(items.literal);
    EXPECT_EQ(items.templateText, "items");
    const Route& named = Add("");
    EXPECT_TRUE(named.literal);
    EXPECT_EQ(named.templateText, "F2") << "without a template the name is the path";
    EXPECT_FALSE(Add("/a/{x}").literal);
    EXPECT_TRUE(Add("/a}").literal) << "without a placeholder a brace is just a character";
    EXPECT_EQ(Select("/a}"), "F4");

    BindingFunctionDescription stray;
    stray.name = "Stray";
    stray.pathTemplate = "/a}/{x}";
    Route route;
    std::string error;
    EXPECT_FALSE(MakeRoute(stray, route, &error));
    EXPECT_EQ(error, "Path template '/a}/{x}' has a '}' outside a placeholder.");
}

TEST_F(Routes, PathsMatchUpToTheirQuery) {
    Add("items");
    EXPECT_EQ(Select("items"), "F1");
    EXPECT_EQ(Select("items?x=1"), "F1") << "the query is no part of the routed path";
    EXPECT_EQ(Select("items/"), "none");
    EXPECT_EQ(Select("item"), "none");
    routes_.clear();
    Add("/echo/v1/items/{id}");
    EXPECT_EQ(Select("/echo/v1/items/7?verbose"), "F2 id=7") << "a placeholder does not swallow the query";
    EXPECT_EQ(Select("/echo/v1/items/7?a/b"), "F2 id=7");
}

TEST_F(Routes, ParametersAreDecoded) {
    Add("/a/{x}/b");
    EXPECT_EQ(Select("/a/1%202/b"), "F1 x=1 2");
    EXPECT_EQ(Select("/a//b"), "F1 x=") << "an empty parameter is still a parameter";
    EXPECT_EQ(Select("/a/1%2F2/b"), "F1 x=1/2") << "decoded after matching";
    routes_.clear();
    Add("/{x}/{x}");
    EXPECT_EQ(Select("/1/22"), "F2 x=22") << "a later capture of a name replaces an earlier one";
}

TEST_F(Routes, TheShortestParametersWinAndTiesKeepTheEarlier) {
    Add("/a/{x}");
    Add("/a/b");
    EXPECT_EQ(Select("/a/b"), "F2");
    routes_.clear();
    Add("/a/{x}");
    Add("/a/{y}");
    EXPECT_EQ(Select("/a/b"), "F3 x=b");
    routes_.clear();
    Add("/p/{+rest}");
    Add("/p/{a}/{b}");
    EXPECT_EQ(Select("/p/xx/yy"), "F6 a=xx b=yy") << "4 bytes of parameters beat 5";
}

TEST_F(Routes, MethodsAreChecked) {
    Add("/post", 6);
    Add("/any", 0);
    Add("/purge", 8, "PURGE");
    EXPECT_EQ(Select("/post", 2), "none");
    EXPECT_EQ(Select("/post", 6), "F1");
    for (uint32_t method : {0u, 1u, 2u, 7u, 8u}) EXPECT_EQ(Select("/any", method), "F2") << method;
    EXPECT_EQ(Select("/purge", 8, "PURGE"), "F3");
    EXPECT_EQ(Select("/purge", 8, "purge"), "none") << "custom methods compare byte for byte";
    EXPECT_EQ(Select("/purge", 8), "none");
    EXPECT_EQ(Select("/purge", 2), "none");
}

}  // namespace
}  // namespace Vorn

// The logic of vorn-host's reports: the trace comparison's diff and
// normalising, JUnit's escaping and timestamps, the page's marking of what
// differs. The programs that read the reports check them whole (reports/).
#include <gtest/gtest.h>

#include "host-simulator/html_report.h"
#include "host-simulator/junit_report.h"
#include "host-simulator/saved_trace.h"
#include "host_test_helpers.h"

namespace Vorn::HostSimulator {
namespace {

using Testing::Json;

TEST(SavedTrace, UnifiedDiffAsDiffWritesIt) {
    const std::string ten = "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n";
    const struct {
        const char* description;
        std::string before;
        std::string after;
        const char* diff;  // without the two header lines
    } cases[] = {
        {"the same", ten, ten, ""},
        {"one line changed, three around it", ten, "1\n2\n3\n4\nfive\n6\n7\n8\n9\n10\n",
         "@@ -2,7 +2,7 @@\n 2\n 3\n 4\n-5\n+five\n 6\n 7\n 8\n"},
        {"added at the end", "a\nb\n", "a\nb\nc\n", "@@ -1,2 +1,3 @@\n a\n b\n+c\n"},
        {"removed at the start", "a\nb\nc\n", "b\nc\n", "@@ -1,3 +1,2 @@\n-a\n b\n c\n"},
        {"into an empty text", "", "a\n", "@@ -0,0 +1 @@\n+a\n"},
        {"changes six lines apart share a hunk", ten, "one\n2\n3\n4\n5\n6\n7\neight\n9\n10\n",
         "@@ -1,10 +1,10 @@\n-1\n+one\n 2\n 3\n 4\n 5\n 6\n 7\n-8\n+eight\n 9\n 10\n"},
        {"a line moved down", "x\na\nb\nc\ny\n", "x\nb\nc\na\ny\n", "@@ -1,5 +1,5 @@\n x\n-a\n b\n c\n+a\n y\n"},
        {"the fewest lines changed", "a\nb\nc\nd\ne\nf\n", "b\nx\nd\nc\nf\ne\n",
         "@@ -1,6 +1,6 @@\n-a\n b\n-c\n+x\n d\n-e\n+c\n f\n+e\n"},
        {"the longest common lines kept", "b\na\na\nb\na\n", "b\nb\nc\na\nc\nb\n",
         "@@ -1,5 +1,6 @@\n b\n-a\n-a\n b\n+c\n a\n+c\n+b\n"},
        {"a line replaced before a kept one", "c\nc\nb\n", "b\nc\nb\na\n", "@@ -1,3 +1,4 @@\n-c\n+b\n c\n b\n+a\n"},
        {"seven apart, two hunks", ten + "11\n", "one\n2\n3\n4\n5\n6\n7\n8\nnine\n10\n11\n",
         "@@ -1,4 +1,4 @@\n-1\n+one\n 2\n 3\n 4\n@@ -6,6 +6,6 @@\n 6\n 7\n 8\n-9\n+nine\n 10\n 11\n"},
    };
    for (const auto& c : cases) {
        const std::string diff = UnifiedDiff("saved", c.before, "run", c.after);
        EXPECT_EQ(diff, *c.diff == '\0' ? "" : "--- saved\n+++ run\n" + std::string(c.diff)) << c.description;
    }
    // Past the comparison table's size the differing middles replace each
    // other whole, between the lines both share.
    std::string before = "same\n", after = "same\n";
    for (int i = 0; i < 5000; ++i) {
        before += "a" + std::to_string(i) + "\n";
        after += "b" + std::to_string(i) + "\n";
    }
    const std::string diff = UnifiedDiff("saved", before + "end\n", "run", after + "end\n");
    EXPECT_EQ(diff.rfind("--- saved\n+++ run\n@@ -1,5002 +1,5002 @@\n same\n-a0\n", 0), 0u) << diff.substr(0, 80);
    EXPECT_NE(diff.find("\n-a4999\n+b0\n"), std::string::npos);
    EXPECT_TRUE(diff.ends_with("\n+b4999\n end\n")) << diff.substr(diff.size() - 40);
}

TEST(SavedTrace, TakesOutWhatDiffersBetweenRuns) {
    ScenarioResult result;
    result.plugin = "/build/lib/qel-featured-modes.so";
    result.file = "/src/scenarios/default.yaml";
    result.realStart = 1796893454000;
    result.realEnd = 1796893455000;
    result.transcript =
        "scenario: x (/src/scenarios/default.yaml)\nplugin:   /build/lib/qel-featured-modes.so\n"
        "{\"t\":1796893454858,\"s\":1796893455,\"day before\":1796807054000,\"older\":1796807053999,"
        "\"toggled\":1000000000000,\"digits\":9999999999999999999,\"small\":42,"
        "\"seconds\":[1796807053,1796807054,1796979855,1796979856]}\n";
    EXPECT_EQ(NormalisedTrace(result),
              "scenario: x (default.yaml)\nplugin:   qel-featured-modes.so\n"
              "{\"t\":<real time ms>,\"s\":<real time s>,\"day before\":<real time ms>,\"older\":1796807053999,"
              "\"toggled\":1000000000000,\"digits\":9999999999999999999,\"small\":42,"
              "\"seconds\":[1796807053,<real time s>,<real time s>,1796979856]}\n");
    EXPECT_EQ(TraceFileName("scenarios/echo/echo.yaml"), "echo.trace");
}

TEST(JunitReport, EscapesWhatXmlCannotHold) {
    JunitSuite suite;
    suite.name = "a \"quoted\" <name> & more";
    suite.out = "line\nbell\x07 bad\xff utf8 \xc3\xa9 \xed\xa0\x80 ]]>";
    JunitCase& failed = suite.cases.emplace_back();
    failed.name = "tab\there";
    failed.classname = "c";
    failed.status = JunitCase::Status::Failed;
    failed.message = "two\nlines";
    failed.details = "<detail>";
    suite.cases.emplace_back().name = "passed";
    const std::string xml = JunitXml("run", {suite});
    EXPECT_NE(xml.find("name=\"a &quot;quoted&quot; &lt;name&gt; &amp; more\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("<system-out>line\nbell\xEF\xBF\xBD bad\xEF\xBF\xBD utf8 \xc3\xa9 \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD ]]&gt;"),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find("<testcase name=\"tab&#9;here\" classname=\"c\" time=\"0.000\">\n      <failure "
                       "message=\"two&#10;lines\" type=\"failure\">&lt;detail&gt;</failure>"),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find("tests=\"2\" failures=\"1\" errors=\"0\""), std::string::npos) << xml;
}

TEST(JunitReport, KeepsWellFormedUtf8Only) {
    const std::string bad = "\xEF\xBF\xBD";  // U+FFFD, what stands for each byte that cannot stay
    const struct {
        const char* text;
        std::string kept;
    } cases[] = {
        {"\xC2\x80", "\xC2\x80"},
        {"\xDF\xBF", "\xDF\xBF"},
        {"\xC1\xBF", bad + bad},  // an overlong form of U+007F
        {"\xC3" "A", bad + "A"},   // no continuation byte
        {"\xE0\xA0\x80", "\xE0\xA0\x80"},
        {"\xE0\x9F\xBF", bad + bad + bad},  // overlong
        {"\xE1\x80\xBF", "\xE1\x80\xBF"},
        {"\xE1\x80\xC0", bad + bad + bad},
        {"\xE1\x80", bad + bad},  // cut short
        {"\xED\x9F\xBF", "\xED\x9F\xBF"},
        {"\xED\xA0\x80", bad + bad + bad},  // a surrogate
        {"\xEF\xBF\xBD", bad},
        {"\xEF\xBE\xBF", "\xEF\xBE\xBF"},
        {"\xEF\xBF\xBE", bad},  // U+FFFE and U+FFFF are no characters of XML
        {"\xEF\xBF\xBF", bad},
        {"\xF0\x90\x80\x80", "\xF0\x90\x80\x80"},
        {"\xF0\x8F\xBF\xBF", bad + bad + bad + bad},  // overlong
        {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
        {"\xF4\x90\x80\x80", bad + bad + bad + bad},  // past U+10FFFF
        {"\xF5\x80\x80\x80", bad + bad + bad + bad},
    };
    for (const auto& c : cases) {
        JunitSuite suite;
        suite.name = "s";
        suite.out = c.text;
        EXPECT_NE(JunitXml("run", {suite}).find("<system-out>" + c.kept + "</system-out>"), std::string::npos)
            << testing::PrintToString(std::string(c.text));
    }
}

TEST(JunitReport, TimestampsInUtc) {
    const struct {
        long long seconds;
        const char* text;
    } cases[] = {
        {0, "1970-01-01T00:00:00"},          {-1, "1969-12-31T23:59:59"},
        {951782400, "2000-02-29T00:00:00"},  {1796893454, "2026-12-10T09:04:14"},
        {4107542399, "2100-02-28T23:59:59"}, {4107542400, "2100-03-01T00:00:00"},
    };
    for (const auto& c : cases) EXPECT_EQ(IsoTimestamp(c.seconds), c.text) << c.seconds;
}

TEST(HtmlReport, MarksWhatDiffersByTheExpectationsRules) {
    const struct {
        const char* description;
        const char* value;
        const char* other;
        bool expected;  // value is the expected side
        const char* html;
    } cases[] = {
        {"the same", R"({"a":1})", R"({"a":1})", true, "{\n  &quot;a&quot;: 1\n}"},
        {"a member differs", R"({"a":1,"b":2})", R"({"a":1,"b":3})", true,
         "{\n  &quot;a&quot;: 1,\n  <mark>&quot;b&quot;: 2</mark>\n}"},
        {"missing from the actual", R"({"a":1})", R"({})", true, "{\n  <mark>&quot;a&quot;: 1</mark>\n}"},
        {"unchecked in the actual", R"({"a":1,"z":0})", R"({"a":1})", false, "{\n  &quot;a&quot;: 1,\n  &quot;z&quot;: 0\n}"},
        {"$any and an integer's float", R"({"a":"$any","b":1})", R"({"a":[2],"b":1.0})", true,
         "{\n  &quot;a&quot;: &quot;$any&quot;,\n  &quot;b&quot;: 1\n}"},
        {"inside a list", R"([{"k":1},{"k":2}])", R"([{"k":1},{"k":5}])", false,
         "[\n  {\n    &quot;k&quot;: 1\n  },\n  {\n    <mark>&quot;k&quot;: 2</mark>\n  }\n]"},
        {"an element more", "[1,2]", "[1]", false, "[\n  1,\n  <mark>2</mark>\n]"},
        {"scalars", "true", "false", true, "<mark>true</mark>"},
        {"text is escaped", R"({"<b>":"a&b"})", R"({"<b>":"a&b"})", true,
         "{\n  &quot;&lt;b&gt;&quot;: &quot;a&amp;b&quot;\n}"},
    };
    for (const auto& c : cases) {
        const BindingProperty other = Json(c.other);
        EXPECT_EQ(MarkedJson(Json(c.value), &other, c.expected), c.html) << c.description;
    }
}

}  // namespace
}  // namespace Vorn::HostSimulator

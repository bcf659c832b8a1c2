#include "formats/yaml_reader.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdlib>
#include <string>
#include <vector>

#include "binding/binding_limits.h"
#include "decimal_comma_locale.h"
#include "guarded_text.h"
#include "repeat_text.h"

namespace Vorn {
namespace {

using Testing::Repeat;

// A value as one line with its kinds: ~ empty, u1 unsigned, s-1 signed,
// f1.5 float, 'x' string (line breaks as \n), true, [..], {name:..}.
class CompactText : public BindingVisitor {
public:
    std::string text;

    void Empty() override { Item("~"); }
    void Bool(bool v) override { Item(v ? "true" : "false"); }
    void Signed(int64_t v) override { Item("s", std::to_string(v)); }
    void Unsigned(uint64_t v) override { Item("u", std::to_string(v)); }
    void Float(double v) override {
        char digits[64];
        auto [end, error] = std::to_chars(digits, digits + sizeof(digits), v);
        Item("f", std::string_view(digits, static_cast<std::size_t>(end - digits)));
    }
    void String(std::string_view v) override {
        std::string quoted;
        for (char c : v) quoted += c == '\n' ? std::string_view("\\n") : std::string_view(&c, 1);
        Item("'", quoted);
        text += "'";
    }
    void BeginCollection(std::size_t) override { Open("["); }
    void EndCollection() override { Close("]"); }
    void BeginStructure(std::size_t) override { Open("{"); }
    void BeginMember(std::string_view name) override {
        Separate();
        text += std::string(name) + ":";
        afterName_ = true;
    }
    void EndStructure() override { Close("}"); }

private:
    void Separate() {
        if (!afterName_ && !text.empty() && text.back() != '[' && text.back() != '{') text += ",";
        afterName_ = false;
    }
    void Item(std::string_view prefix, std::string_view body = {}) {
        Separate();
        text += prefix;
        text += body;
    }
    void Open(const char* bracket) { Item(bracket); }
    void Close(const char* bracket) { text += bracket; }
    bool afterName_ = false;
};

std::string Show(const BindingProperty& value) {
    CompactText visitor;
    value.Visit(visitor);
    return visitor.text;
}

BindingResult Read(std::string_view yaml) { return DeserializeYaml(yaml); }

// The value as compact text, or "error: " and the message.
std::string Outcome(std::string_view yaml) {
    const BindingResult result = Read(yaml);
    return result.ok ? Show(result.value) : "error: " + std::string(result.Message());
}

struct Case {
    const char* description;
    std::string yaml;
    std::string expected;
};

void ExpectOutcomes(const std::vector<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(Outcome(c.yaml), c.expected) << c.description << "\n" << c.yaml;
}

TEST(YamlReader, TypesPlainScalars) {
    ExpectOutcomes({
        {"unsigned", "a: 1", "{a:u1}"},
        {"signed", "a: -1", "{a:s-1}"},
        {"fraction", "a: 1.5", "{a:f1.5}"},
        {"integral fraction", "a: 1.0", "{a:u1}"},
        {"integral exponent", "a: 1e3", "{a:u1000}"},
        {"hexadecimal", "a: 0x10", "{a:u16}"},
        {"negative hexadecimal", "a: -0x10", "{a:s-16}"},
        {"hexadecimal float", "a: 0x1.8p1", "{a:u3}"},
        {"leading zero is decimal, as strtod reads it", "a: 010", "{a:u10}"},
        {"plus sign", "a: +5", "{a:u5}"},
        {"negative zero is unsigned", "a: -0", "{a:u0}"},
        {"no integer digits", "a: .5", "{a:f0.5}"},
        {"no fraction digits", "a: 5.", "{a:u5}"},
        {"double quoted", "a: \"1\"", "{a:'1'}"},
        {"single quoted", "a: 'true'", "{a:'true'}"},
        {"true word", "a: yes", "{a:true}"},
        {"false word", "a: Off", "{a:false}"},
        {"one-letter word", "a: n", "{a:false}"},
        {"word in another case", "a: yEs", "{a:'yEs'}"},
        {"tilde", "a: ~", "{a:~}"},
        {"nothing", "a:", "{a:~}"},
        {"null word", "a: Null", "{a:~}"},
        {"quoted null word", "a: 'null'", "{a:'null'}"},
        {"inf is a word", "a: inf", "{a:'inf'}"},
        {"positive overflow is a word like inf", "a: 1e400", "{a:'1e400'}"},
        {".inf", "a: .inf", "{a:'.inf'}"},
        {".nan", "a: .nan", "{a:'.nan'}"},
        {"nan", "a: nan", "{a:fnan}"},
        {"date", "a: 2001-01-23", "{a:'2001-01-23'}"},
        {"digit groups", "a: 1_000", "{a:'1_000'}"},
        {"trailing letters", "a: 12abc", "{a:'12abc'}"},
        {"two signs", "a: +-1", "{a:'+-1'}"},
        {"keys stay text", "1: x", "{1:'x'}"},
    });
}

TEST(YamlReader, ReadsIntegersExactlyAndLargeValuesAsFloats) {
    ExpectOutcomes({
        {"above 2^53", "a: 9007199254740993", "{a:u9007199254740993}"},
        {"largest unsigned", "a: 18446744073709551615", "{a:u18446744073709551615}"},
        {"largest unsigned in hexadecimal", "a: 0xFFFFFFFFFFFFFFFF", "{a:u18446744073709551615}"},
        {"smallest signed", "a: -9223372036854775808", "{a:s-9223372036854775808}"},
        {"above the unsigned range", "a: 18446744073709551616", "{a:f18446744073709551616}"},
        {"below the signed range", "a: -9223372036854775809", "{a:f-9223372036854775808}"},
        {"integral exponent above 64 bits", "a: 1e30", "{a:f1e+30}"},
        {"integral exponent below 64 bits", "a: -1e30", "{a:f-1e+30}"},
        {"largest exponent inside 64 bits", "a: 1e19", "{a:u10000000000000000000}"},
        {"negative infinity", "a: -inf", "{a:f-inf}"},
        {"negative overflow", "a: -1e400", "{a:f-inf}"},
        {"underflow keeps its fraction", "a: 1e-400", "{a:f0}"},
        {"hexadecimal underflow", "a: 0x1p-2000", "{a:f0}"},
        {"long integer text beyond the double range", "a: 1" + std::string(400, '0'), "{a:'1" + std::string(400, '0') + "'}"},
        {"long fraction under the double range", "a: 0." + std::string(400, '0') + "1", "{a:f0}"},
    });
}

TEST(YamlReader, TypesTaggedScalars) {
    ExpectOutcomes({
        {"int", "a: !!int 12", "{a:u12}"},
        {"negative int", "a: !!int -3", "{a:s-3}"},
        {"int reads octal as the conversion rules do", "a: !!int 017", "{a:u15}"},
        {"float of an integer", "a: !!float 2", "{a:f2}"},
        {"str of a number", "a: !!str 12", "{a:'12'}"},
        {"empty str", "a: !!str", "{a:''}"},
        {"bool", "a: !!bool yes", "{a:true}"},
        {"bool of another word leaves the value", "a: !!bool maybe", "{a:~}"},
        {"bool of another word over an earlier value", "a: 1\na: !!bool maybe", "{a:u1}"},
        {"verbatim tag", "a: !<tag:yaml.org,2002:str> 5", "{a:'5'}"},
        {"tags on containers are ignored", "a: !custom [1]\nb: !!map {c: 2}", "{a:[u1],b:{c:u2}}"},
        {"local tag", "a: !custom x", "error: Unsupported YAML tag '!custom'."},
        {"null tag", "a: !!null ~", "error: Unsupported YAML tag 'tag:yaml.org,2002:null'."},
        {"int of a word", "a: !!int abc", "error: Value abc for 'yaml' of type uint64_t is in an incorrect format"},
        {"int below the signed range", "a: !!int -9223372036854775809",
         "error: Value -9223372036854775809 for 'yaml' of type int64_t is out of range"},
        {"int above the unsigned range", "a: !!int 18446744073709551616",
         "error: Value 18446744073709551616 for 'yaml' of type uint64_t is out of range"},
        {"float of a word", "a: !!float x", "error: Value x for 'yaml' of type double is in an incorrect format"},
        {"float overflow", "a: !!float 1e999", "error: Value 1e999 for 'yaml' of type double is out of range"},
    });
}

TEST(YamlReader, TypesBlockScalarsAsPlain) {
    ExpectOutcomes({
        {"literal, stripped", "a: |-\n  42\n", "{a:u42}"},
        {"literal keeps its line break", "a: |\n  42\n", "{a:'42\\n'}"},
        {"folded, stripped", "a: >-\n  1.5\n", "{a:f1.5}"},
        {"literal with indentation indicator", "a: |2-\n   -7\n", "{a:s-7}"},
    });
}

TEST(YamlReader, ReadsDocumentShapes) {
    ExpectOutcomes({
        {"empty text", "", "~"},
        {"comment only", "# nothing\n", "~"},
        {"null document", "~", "~"},
        {"empty document", "---\n...\n", "~"},
        {"root scalar", "42", "u42"},
        {"root sequence", "- 1\n- [a, {b: c}]", "[u1,['a',{b:'c'}]]"},
        {"nested mappings", "a:\n  b:\n    c: 1\nd: 2", "{a:{b:{c:u1}},d:u2}"},
        {"members in byte order", "b: 1\nB: 2\na: 3", "{B:u2,a:u3,b:u1}"},
        {"empty key", "\"\": 1\nb: 2", "{:u1,b:u2}"},
        {"merge key has no meaning", "<<: {a: 1}", "{<<:{a:u1}}"},
        {"str-tagged key", "!!str 1: x", "{1:'x'}"},
        {"key without a value", "{a, b: 1}", "{a:~,b:u1}"},
    });
}

TEST(YamlReader, MergesRepeatedKeys) {
    ExpectOutcomes({
        {"mappings merge", "a: {x: 1}\na: {y: 2}", "{a:{x:u1,y:u2}}"},
        {"sequences append", "a: [1]\na: [2, 3]", "{a:[u1,u2,u3]}"},
        {"scalar replaces scalar", "a: 1\na: two", "{a:'two'}"},
        {"scalar replaces sequence", "a: [1]\na: 5", "{a:u5}"},
        {"sequence replaces mapping", "a: {x: 1}\na: [1]", "{a:[u1]}"},
        {"null replaces", "a: 1\na:", "{a:~}"},
        {"inner mappings merge too", "a: {x: {p: 1}}\na: {x: {q: 2}}", "{a:{x:{p:u1,q:u2}}}"},
    });
}

TEST(YamlReader, RejectsInvalidKeysAndDocuments) {
    ExpectOutcomes({
        {"sequence as key", "? [1]", "error: Unexpected start of sequence. At line: 1 col: 3"},
        {"mapping as key", "a: 1\n? {b: 1}\n: x", "error: Unexpected start of mapping. At line: 2 col: 3"},
        {"int-tagged key", "!!int 1: x", "error: Invalid mapping key. Only string scalar keys are allowed. At line: 1 col: 1"},
        {"alias as key", "a: &x k\n*x : 1",
         "error: Invalid mapping key. Only string scalar keys are allowed. At line: 2 col: 1"},
        {"two documents", "--- 1\n--- 2", "error: Multi-document YAML is not supported."},
        {"second document after an empty one", "---\n--- 2", "error: Multi-document YAML is not supported."},
        {"unclosed flow sequence", "[1, 2",
         "error: YAML parser error: did not find expected ',' or ']'. At line: 1 col: 0"},
        {"mapping in a plain value", "a: b: c",
         "error: YAML parser error: mapping values are not allowed in this context. At line: 0 col: 4"},
        // libyaml's input decoder gives a byte offset only: its place is
        // counted from it, in characters.
        {"invalid UTF-8", "a: 1\nb: \xff", "error: YAML parser error: invalid leading UTF-8 octet. At line: 1 col: 3"},
        {"control character after a wide one", "a: \xC3\xA9\x01",
         "error: YAML parser error: control characters are not allowed. At line: 0 col: 4"},
        {"earlier failure wins over the parser error", "a: !custom x\n[", "error: Unsupported YAML tag '!custom'."},
    });
}

TEST(YamlReader, CopiesAnchoredValuesByPath) {
    ExpectOutcomes({
        {"sequence", "a: &x [1, 2]\nb: *x", "{a:[u1,u2],b:[u1,u2]}"},
        {"scalar", "a: &x 5\nb: [*x, *x]", "{a:u5,b:[u5,u5]}"},
        {"mapping into a sequence", "a: &x {p: 1}\nb: [*x]", "{a:{p:u1},b:[{p:u1}]}"},
        {"anchored key gives its text", "&k a: *k", "{a:'a'}"},
        {"alias of a key elsewhere", "&k a: 1\nb: [*k]", "{a:u1,b:['a']}"},
        {"copy taken before a later merge", "a: &x [1]\nb: *x\na: [2]", "{a:[u1,u2],b:[u1]}"},
        {"path sees a replaced node", "a: &x [1]\na: 5\nb: *x", "{a:u5,b:u5}"},
        {"node inside the target replaces it", "a: &x {b: &y 1}\na: *y", "{a:u1}"},
        {"alias over itself", "a: &x [1]\na: *x", "{a:[u1]}"},
        {"path to a vanished element", "a: [&x 1]\na: 5\nb: *x", "{a:u5,b:~}"},
    });
}

TEST(YamlReader, RejectsBadAnchorsAndAliases) {
    ExpectOutcomes({
        {"alias inside its anchored sequence", "a: &x [1, *x]",
         "error: Cannot deserialize cyclic aliases. Alias \"x\". At line: 1 col: 11"},
        // The key's anchor leaves the mapping's own anchor in force.
        {"alias inside its mapping next to an anchored key", "&m {&k a: *m}",
         "error: Cannot deserialize cyclic aliases. Alias \"m\". At line: 1 col: 11"},
        {"alias inside a node merged into its anchored node", "a: &x {b: 1}\na: {c: *x}",
         "error: Cannot deserialize cyclic aliases. Alias \"x\". At line: 2 col: 8"},
        {"undefined alias", "b: *y", "error: Undefined alias encountered: \"y\". At line: 1 col: 4"},
        {"alias before its anchor", "a: *x\nb: &x 1", "error: Undefined alias encountered: \"x\". At line: 1 col: 4"},
        {"duplicate anchor", "a: &x 1\nb: &x [2]", "error: Duplicate occurrence of anchor \"x\". At line: 2 col: 4"},
        {"duplicate anchor on a key", "&x a: 1\n&x b: 2",
         "error: Duplicate occurrence of anchor \"x\". At line: 2 col: 1"},
    });
}

TEST(YamlReader, AliasCopiesAreIndependentOfTheirSource) {
    BindingResult result = Read("a: &x {list: [1, 2], name: text}\nb: *x");
    ASSERT_TRUE(result.ok) << result.Message();
    result.value.Member("b").Member("list").Element(0).SetUnsigned(9);
    result.value.Member("b").Member("name").SetString("changed");
    EXPECT_EQ(Show(result.value), "{a:{list:[u1,u2],name:'text'},b:{list:[u9,u2],name:'changed'}}");
}

TEST(YamlReader, LimitsNesting) {
    const std::size_t limit = kMaxNestingDepth;
    EXPECT_EQ(Outcome(Repeat("[", limit) + Repeat("]", limit)), Repeat("[", limit) + Repeat("]", limit));
    EXPECT_EQ(Outcome(Repeat("[", limit + 1) + Repeat("]", limit + 1)),
              "error: Nesting is deeper than 512 levels. At line: 1 col: 513");
    std::string blocks;  // line i opens the mapping at depth i + 1
    for (std::size_t i = 0; i < limit; ++i) blocks += Repeat("  ", i) + "k:\n";
    EXPECT_TRUE(Read(blocks).ok);
    EXPECT_EQ(Outcome(blocks + Repeat("  ", limit) + "k:\n"),
              "error: Nesting is deeper than 512 levels. At line: 513 col: 1025");
}

TEST(YamlReader, StopsAtTheNestingLimitWithoutScanningFurther) {
    // libyaml slows down quadratically on deep flow nesting; reading on
    // through a megabyte would take hours. Only the first 32 KiB of this one
    // can be read (libyaml reads ahead 16 KiB at a time): going further
    // crashes.
    const Testing::GuardedText text('[', 32 * 1024, 1000000);
    ASSERT_TRUE(text.Valid());
    EXPECT_EQ(Outcome(text.View()), "error: Nesting is deeper than 512 levels. At line: 1 col: 513");
}

TEST(YamlReader, LimitsNestingOfAliasCopies) {
    const std::string anchored = "a: &x " + Repeat("[", 300) + Repeat("]", 300) + "\n";
    EXPECT_EQ(Outcome(anchored + "b: " + Repeat("[", 299) + "*x" + Repeat("]", 299)),
              "error: Nesting is deeper than 512 levels. At line: 2 col: 303");
    // The root mapping, 211 lists and the copy's 300 make 512 levels; one
    // more list is too deep.
    const BindingResult fits = Read(anchored + "b: " + Repeat("[", 211) + "*x" + Repeat("]", 211));
    EXPECT_TRUE(fits.ok) << fits.Message();
    EXPECT_EQ(Outcome(anchored + "b: " + Repeat("[", 212) + "*x" + Repeat("]", 212)),
              "error: Nesting is deeper than 512 levels. At line: 2 col: 216");
}

TEST(YamlReader, LimitsValuesCopiedByAliases) {
    const std::string laughs =
        "a: &a [lol, lol, lol, lol, lol, lol, lol, lol, lol]\n"
        "b: &b [*a, *a, *a, *a, *a, *a, *a, *a, *a]\n"
        "c: &c [*b, *b, *b, *b, *b, *b, *b, *b, *b]\n"
        "d: &d [*c, *c, *c, *c, *c, *c, *c, *c, *c]\n"
        "e: &e [*d, *d, *d, *d, *d, *d, *d, *d, *d]\n"
        "f: &f [*e, *e, *e, *e, *e, *e, *e, *e, *e]\n"
        "g: &g [*f, *f, *f, *f, *f, *f, *f, *f, *f]\n"
        "h: &h [*g, *g, *g, *g, *g, *g, *g, *g, *g]\n"
        "i: &i [*h, *h, *h, *h, *h, *h, *h, *h, *h]\n";
    // e's copies bring the count to 74,718; f's first would add 66,430.
    EXPECT_EQ(Outcome(laughs), "error: Aliases expand to more than 100000 values. At line: 6 col: 8");
    EXPECT_TRUE(Read(laughs.substr(0, laughs.find("f:"))).ok);

    // The bound grows with the input: 2,000 copies of 101 values are more
    // than the floor, and within 64 values per byte of this text.
    std::string many = "x: &x [" + Repeat("1, ", 99) + "1]\ny:\n" + Repeat("- *x\n", 2000);
    const BindingResult large = Read(many);
    ASSERT_TRUE(large.ok) << large.Message();
    EXPECT_EQ(large.value.GetMember("y").Count(), 2000u);
    EXPECT_EQ(large.value.GetMember("y").GetElement(1999).Count(), 100u);
}

TEST(YamlReader, ReadsNumbersIndependentlyOfTheLocale) {
    Testing::DecimalCommaLocale locale;
    ASSERT_TRUE(locale.Active()) << "no decimal-comma locale is installed (scripts/setup generates de_DE.UTF-8)";
    // The locale is in force: the C library's own reading stops at the point.
    char* end = nullptr;
    std::strtod("0.5", &end);
    EXPECT_EQ(*end, '.') << locale.Name();
    EXPECT_EQ(Outcome("a: 0.5\nb: 1.5e3\nc: 0,5\nd: !!float 0.25"), "{a:f0.5,b:u1500,c:'0,5',d:f0.25}")
        << locale.Name();
}

}  // namespace
}  // namespace Vorn

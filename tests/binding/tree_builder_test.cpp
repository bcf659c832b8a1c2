#include "binding/tree_builder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_property.h"
#include "binding/value_arena.h"

namespace Vorn {
namespace {

using Repeat = TreeBuilder::Repeat;

// "{a:u1,l:[s-2,f2.5,'x',true,~]}": members in the order the value lists
// them, ~ for an empty value or a NUL byte in a name.
std::string Show(const BindingProperty& value) {
    switch (value.Kind()) {
        case BindingKind::Empty: return "~";
        case BindingKind::Bool: return value.AsBool() ? "true" : "false";
        case BindingKind::Signed: return "s" + std::to_string(value.AsSigned());
        case BindingKind::Unsigned: return "u" + std::to_string(value.AsUnsigned());
        case BindingKind::Float: return "f" + std::to_string(value.AsDouble()).substr(0, 3);
        case BindingKind::String: return "'" + std::string(value.AsString()) + "'";
        case BindingKind::Collection: {
            std::string shown = "[";
            for (const BindingProperty& element : value.Elements()) shown += (shown.size() > 1 ? "," : "") + Show(element);
            return shown + "]";
        }
        case BindingKind::Structure: {
            std::string shown = "{";
            for (const auto& member : *value.StructureMembers()) {
                if (shown.size() > 1) shown += ",";
                for (char c : member.first->View()) shown += c == '\0' ? '~' : c;
                shown += ":" + Show(member.second);
            }
            return shown + "}";
        }
        default: return "?";
    }
}

// Plays builder events written as words: "{" "[" open, "}" "]" close,
// "k:name" a key, "u:7" "s:-7" "d:2.5" numbers, "t:text" a string, "true"
// and "null"; '~' in a name or text is a NUL byte.
void Play(TreeBuilder& builder, std::string_view script) {
    while (!script.empty()) {
        const std::size_t space = script.find(' ');
        const std::string_view word = script.substr(0, space);
        script = space == std::string_view::npos ? std::string_view() : script.substr(space + 1);
        std::string rest(word.size() > 2 ? word.substr(2) : std::string_view());
        for (char& c : rest) c = c == '~' ? '\0' : c;
        if (word == "{") {
            builder.StartStructure();
        } else if (word == "[") {
            builder.StartCollection();
        } else if (word == "}" || word == "]") {
            builder.End();
        } else if (word == "true") {
            builder.Bool(true);
        } else if (word == "null") {
            builder.Null();
        } else if (word.starts_with("k:")) {
            builder.Key(rest);
        } else if (word.starts_with("u:")) {
            builder.Unsigned(std::stoull(rest));
        } else if (word.starts_with("s:")) {
            builder.Signed(std::stoll(rest));
        } else if (word.starts_with("d:")) {
            builder.Double(std::stod(rest));
        } else if (word.starts_with("t:")) {
            builder.String(rest);
        } else {
            ADD_FAILURE() << "no such event: " << word;
        }
    }
}

std::string Build(BindingProperty& root, std::string_view script, Repeat repeat = Repeat::Merge) {
    {
        TreeBuilder builder(root, repeat);
        Play(builder, script);
        builder.Finish();
    }
    return Show(root);
}

std::string Build(std::string_view script, Repeat repeat = Repeat::Merge) {
    BindingProperty root;
    return Build(root, script, repeat);
}

TEST(TreeBuilder, BuildsFromEvents) {
    struct Case {
        const char* description;
        const char* script;
        const char* merged;    // a repeated container merges (JSON)
        const char* replaced;  // it replaces (MessagePack)
    } cases[] = {
        {"values of every kind, members in name order", "{ k:b u:1 k:a [ u:1 s:-2 d:2.5 t:x true null ] k:c { } }",
         "{a:[u1,s-2,f2.5,'x',true,~],b:u1,c:{}}", nullptr},
        {"a key ends at its first NUL byte", "{ k:a~b u:1 }", "{a:u1}", nullptr},
        {"a repeated key takes the later value", "{ k:a u:1 k:b u:2 k:a s:-3 }", "{a:s-3,b:u2}", nullptr},
        {"null keeps an earlier value", "{ k:a u:1 k:a null }", "{a:u1}", nullptr},
        {"a later value of another kind", "{ k:a t:x k:a d:2.5 k:b { k:c u:1 } k:b true k:c [ ] k:c t:y }",
         "{a:f2.5,b:true,c:'y'}", nullptr},
        {"a repeated structure", "{ k:a { k:x u:1 } k:a { k:y u:2 } }", "{a:{x:u1,y:u2}}", "{a:{y:u2}}"},
        {"a repeated collection", "{ k:l [ u:1 ] k:l [ u:2 ] }", "{l:[u1,u2]}", "{l:[u2]}"},
        {"a merged structure takes values of every kind",
         "{ k:a { k:z u:0 } k:a { k:b true k:d d:1.5 k:s t:x k:u u:1 k:i s:-1 k:n null k:l [ u:3 ] k:o { k:p u:4 } "
         "k:z u:9 } }",
         "{a:{b:true,d:f1.5,i:s-1,l:[u3],n:~,o:{p:u4},s:'x',u:u1,z:u9}}",
         "{a:{b:true,d:f1.5,i:s-1,l:[u3],n:~,o:{p:u4},s:'x',u:u1,z:u9}}"},
        {"a merged collection takes values of every kind", "{ k:l [ u:0 ] k:l [ true d:0.5 t:x s:-1 null [ ] { } ] }",
         "{l:[u0,true,f0.5,'x',s-1,~,[],{}]}", "{l:[true,f0.5,'x',s-1,~,[],{}]}"},
        {"an inner name is not a repeat of the outer one", "{ k:a u:1 k:o { k:a u:2 } k:a u:3 }",
         "{a:u3,o:{a:u2}}", nullptr},
        // The second and later objects of a list follow the first one's shape.
        {"objects of one shape, unsorted", "[ { k:b u:1 k:a u:2 } { k:b u:3 k:a u:4 } { k:b u:5 k:a u:6 } ]",
         "[{a:u2,b:u1},{a:u4,b:u3},{a:u6,b:u5}]", nullptr},
        {"objects leaving the shape", "[ { k:b u:1 k:a u:2 } { k:b u:3 } { k:b u:4 k:a u:5 k:c u:6 } { k:c u:7 } ]",
         "[{a:u2,b:u1},{b:u3},{a:u5,b:u4,c:u6},{c:u7}]", nullptr},
        {"a repeat inside the shape", "[ { k:a u:1 k:b u:2 } { k:a u:3 k:a u:4 } { k:a u:5 k:b u:6 k:a u:7 } ]",
         "[{a:u1,b:u2},{a:u4},{a:u7,b:u6}]", nullptr},
        {"shapes of nested lists", "[ [ { k:b u:1 k:a u:2 } ] [ { k:b u:3 k:a u:4 } ] ]",
         "[[{a:u2,b:u1}],[{a:u4,b:u3}]]", nullptr},
        // An object following a shape holds an object of the same place
        // (under the same name): the inner one's shape must not replace,
        // or free, the one the outer is checked against.
        {"an inner object of the place's shape, whose names come later in the outer",
         "{ k:x { k:k { k:k u:1 k:z u:2 } } k:k { k:k { k:q u:1 k:k u:2 } k:k u:3 } }",
         "{k:{k:u3},x:{k:{k:u1,z:u2}}}", nullptr},
        {"an inner object of the place's shape, larger than the shape's room",
         "{ k:x { k:k { k:k u:1 k:z u:2 } } k:k { k:k { k:a u:1 k:b u:1 k:c u:1 k:d u:1 k:e u:1 k:f u:1 k:g u:1 "
         "k:h u:1 k:i u:1 } k:z u:2 } }",
         "{k:{k:{a:u1,b:u1,c:u1,d:u1,e:u1,f:u1,g:u1,h:u1,i:u1},z:u2},x:{k:{k:u1,z:u2}}}", nullptr},
        {"input that ends early", "{ k:a [ u:1 { k:b", "{a:[u1,{b:~}]}", nullptr},
        {"a scalar root", "s:-5", "s-5", nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Build(c.script, Repeat::Merge), c.merged) << c.description;
        EXPECT_EQ(Build(c.script, Repeat::Replace), c.replaced != nullptr ? c.replaced : c.merged) << c.description;
    }
}

// More members, names and levels than the builder's first stacks hold.
TEST(TreeBuilder, StacksGrowWithoutLosingEntries) {
    std::string script = "{";
    for (int i = 299; i >= 0; --i) script += " k:n" + std::to_string(i) + " u:" + std::to_string(i);
    script += " k:n7 s:-7 k:list [";
    for (int i = 0; i < 100; ++i) script += " u:" + std::to_string(i);
    script += " ] k:deep";
    for (int i = 0; i < 40; ++i) script += " [";
    script += " t:bottom";
    BindingProperty root;
    Build(root, script);
    ASSERT_EQ(root.Kind(), BindingKind::Structure);
    EXPECT_EQ(root.Count(), 302u);
    std::string previous;
    for (const auto& member : *root.StructureMembers()) {
        EXPECT_LT(previous, member.first->View()) << "members out of name order";
        previous = member.first->View();
    }
    for (int i = 0; i < 300; ++i) {
        const BindingProperty& member = root.GetMember("n" + std::to_string(i));
        if (i == 7) {
            EXPECT_EQ(member.AsSigned(), -7);
        } else {
            EXPECT_EQ(member.AsUnsigned(999), static_cast<uint64_t>(i)) << i;
        }
    }
    const BindingProperty& list = root.GetMember("list");
    ASSERT_EQ(list.Count(), 100u);
    for (std::size_t i = 0; i < 100; ++i) EXPECT_EQ(list.GetElement(i).AsUnsigned(999), i);
    const BindingProperty* deep = &root.GetMember("deep");
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(deep->Count(), 1u) << i;
        deep = &deep->GetElement(0);
    }
    EXPECT_EQ(deep->AsString(), "bottom");
}

// A value written over another releases it: its strings leave the arena.
TEST(TreeBuilder, ValuesWrittenOverOthersReleaseThem) {
    BindingProperty root;
    EXPECT_EQ(Build(root, "{ k:a t:gone k:a d:2.5 k:b { k:c t:inner } k:b u:1 }"), "{a:f2.5,b:u1}");
    EXPECT_EQ(root.Arena()->Stats().looseStrings, 0u) << "gone, inner";
    EXPECT_EQ(root.Arena()->FindInterned("c"), nullptr);
    // A text read again shares the entry made for it, unless that was freed
    // since (a freed entry is no longer the text's).
    BindingProperty repeated;
    EXPECT_EQ(Build(repeated, "{ k:a t:same k:b [ t:same ] k:c t:gone k:c u:1 k:d t:gone }"),
              "{a:'same',b:['same'],c:u1,d:'gone'}");
    EXPECT_EQ(repeated.GetMember("a").AsInterned(), repeated.GetMember("b").GetElement(0).AsInterned());
    EXPECT_EQ(repeated.GetMember("a").AsInterned()->references, 2u);
    EXPECT_EQ(repeated.Arena()->Stats().looseStrings, 2u) << "same, and gone made again";
    BindingProperty scalar;
    scalar.SetString("old");
    ValueArena* arena = scalar.Arena();
    EXPECT_EQ(Build(scalar, "d:0.5"), "f0.5");
    EXPECT_EQ(arena->Stats().looseStrings, 0u);
}

// A remembered shape names its members by id. When the id's string was freed
// and its id given to a text holding a NUL byte, a key equal to that text is
// still cut at the NUL, as any key is.
TEST(TreeBuilder, AShapeWhoseNameIdWasReusedStillCutsKeysAtNul) {
    BindingProperty root;
    TreeBuilder builder(root, Repeat::Replace);
    Play(builder, "{ k:k { k:ab u:1 }");
    const uint32_t abId = root.Arena()->FindInterned("ab")->id;
    // Replacing k's structure frees "ab"; the next interned text takes its id.
    Play(builder, "k:k t:zz");
    const InternedString* withNul = root.Arena()->Intern(std::string_view("a\0", 2));
    ASSERT_EQ(withNul->id, abId) << "the case needs the freed id given again";
    Play(builder, "k:k { k:a~ u:2 }");
    builder.Finish();
    EXPECT_EQ(Show(root.GetMember("k")), "{a:u2}");
}

}  // namespace
}  // namespace Vorn

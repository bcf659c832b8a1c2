// Help over the native API: epytext escaping and renderings (the built-in
// types among them, by their exact texts), the Full records, and help over
// functions, types and events together.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "binding/builtin_types.h"
#include "dispatch/api_help.h"
#include "dispatch/expose_function.h"
#include "formats/json_writer.h"

namespace Vorn {
namespace {

enum class Letter : int32_t { Zeta = 0, Alpha = 1, Beta = 1, Omega = -1 };
struct Pair {
    int32_t a = 0;
};

}  // namespace

template <>
struct BindingDescriptor<Letter> {
    static constexpr const char* kName = "Letter";
    static constexpr const char* kDescription = "-Greek {letters}";
    static constexpr BindingEnumeratorSpec kEnumerators[] = {
        {"Zeta", 0, "last"}, {"Beta", 1}, {"Alpha", 1, "first"}, {"Omega", -1}};
};
template <>
struct BindingDescriptor<Pair> {
    static constexpr const char* kName = "Pair";
    static constexpr auto kFields = std::make_tuple(BindingField("a", &Pair::a, "one {half}"));
};

namespace {

TEST(EscapeEpytext, LeadingMinusAndBraces) {
    const struct {
        std::string text;
        const char* escaped;
    } cases[] = {
        {"-x {a}", "E{-}x E{lb}aE{rb}"},
        {"a-b", "a-b"},
        {"--", "E{-}-"},
        {"}{", "E{rb}E{lb}"},
        {std::string("ab\0{}", 5), "ab"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(EscapeEpytext(c.text), c.escaped) << c.text;
}

class Help : public ::testing::Test {
protected:
    void SetUp() override { registry_.SetUp(); }

    const BindingTypeDescription& Type(const char* name) {
        const BindingTypeDescription* type = registry_.FindByName(name);
        EXPECT_NE(type, nullptr) << name;
        return *type;
    }

    TypeRegistry registry_;
};

TEST_F(Help, BuiltInTypesAndEventsInEpytext) {
    const struct {
        const char* type;
        const char* text;
    } cases[] = {
        {"BindingHelpFormat",
         "Help format for binding functions and types.\r\n\r\n"
         "@cvar Full: (1) Native help format\r\n"
         "@cvar Epytext: (2) Python epytext format\r\n"
         "@tags: $builtin,help\r\n"
         "@size: 4\r\n"},
        {"BindingAsyncState",
         "Possible states of an asynchronous operation.\r\n\r\n"
         "@cvar None: (0) Invalid state\r\n"
         "@cvar Running: (1) The operation is in flight\r\n"
         "@cvar Cancelling: (2) A request to cancel the operation has been made\r\n"
         "@cvar Cancelled: (3) The operation was cancelled\r\n"
         "@cvar Succeeded: (4) The operation completed successfully\r\n"
         "@cvar Failed: (5) The operation encountered an error\r\n"
         "@tags: $builtin,async\r\n"
         "@size: 4\r\n"},
        {"BindingAsyncFailureEvent",
         "Represents a failed asynchronous operation.\r\n\r\n"
         "@ivar asyncToken: Asynchronous operation token\r\n"
         "@type asyncToken: uint32\r\n"
         "@ivar error: Error message\r\n"
         "@type error: string\r\n"
         "@tags: $builtin,async\r\n"},
        {"BindingCallbackEvent",
         "Represents the parameters of a call to a provided callback.\r\n\r\n"
         "@ivar id: ID of the callback being invoked\r\n"
         "@type id: uint32\r\n"
         "@ivar parameters: Callback parameters\r\n"
         "@type parameters: list[object]\r\n"
         "@tags: $builtin\r\n"},
        {"BindingGenericEvent",
         "Represents generic data for an event.\r\n\r\n"
         "@ivar data: Event data\r\n"
         "@type data: object\r\n"
         "@tags: $builtin\r\n"},
        {"BindingFullArgumentHelp",
         "Describes a function parameter.\r\n\r\n"
         "@ivar name: \r\n@type name: string\r\n"
         "@ivar description: \r\n@type description: string\r\n"
         "@ivar type: \r\n@type type: L{BindingFullTypeIdentifier}\r\n"
         "@ivar optional: \r\n@type optional: bool\r\n"
         "@tags: $builtin,help\r\n"},
        {"BindingFullTypeHelp",
         "Describes a struct or enum type.\r\n\r\n"
         "@ivar name: \r\n@type name: string\r\n"
         "@ivar nameSpace: \r\n@type nameSpace: string\r\n"
         "@ivar size: \r\n@type size: uint32\r\n"
         "@ivar description: \r\n@type description: string\r\n"
         "@ivar tags: \r\n@type tags: list[string]\r\n"
         "@ivar fields: \r\n@type fields: list[L{BindingFullFieldHelp}]\r\n"
         "@ivar values: \r\n@type values: list[L{BindingFullEnumValueHelp}]\r\n"
         "@tags: $builtin,help\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(TypeEpytext(Type(c.type)), c.text) << c.type;
    EXPECT_EQ(EventEpytext(*registry_.FindEvent("OnCallback")), "Fired when a callback is invoked.\r\n\r\n@tags: $builtin\r\n");
    BindingEventDescription bare;
    EXPECT_EQ(EventEpytext(bare), "\r\n\r\n") << "the description block is there even when empty";
}

TEST_F(Help, EnumeratorsByNumberInEpytextAndByNameInFull) {
    RegisterBindingType<Letter>(registry_);
    RegisterBindingType<Pair>(registry_);
    EXPECT_EQ(TypeEpytext(Type("Letter")),
              "E{-}Greek E{lb}lettersE{rb}\r\n\r\n"
              "@cvar Omega: (-1)\r\n"  // a signed order
              "@cvar Zeta: (0) last\r\n"
              "@cvar Alpha: (1) first\r\n"  // one number: name order
              "@cvar Beta: (1)\r\n"
              "@size: 4\r\n");
    EXPECT_EQ(TypeEpytext(Type("Pair")), "@ivar a: one {half}\r\n@type a: int32\r\n") << "member texts are not escaped";

    BindingTypeDescription spaced = Type("Letter");
    spaced.nameSpace = "Greek";
    BindingResult letter;
    NativeToValue(letter, TypeHelp(spaced), &registry_);
    ASSERT_TRUE(letter.ok) << letter.Message();
    EXPECT_EQ(SerializeJson(letter.value, nullptr),
              R"({"description":"-Greek {letters}","fields":[],"name":"Letter","nameSpace":"Greek","size":4,"tags":[],)"
              R"("values":[{"description":"first","name":"Alpha","value":1},{"description":"","name":"Beta","value":1},)"
              R"({"description":"","name":"Omega","value":-1},{"description":"last","name":"Zeta","value":0}]})");
    BindingResult pair;
    NativeToValue(pair, TypeHelp(Type("Pair")), &registry_);
    EXPECT_EQ(SerializeJson(pair.value, nullptr),
              R"({"description":"","fields":[{"description":"one {half}","name":"a","offset":0,"optional":false,)"
              R"("type":{"elementType":"","type":"int32"}}],"name":"Pair","nameSpace":"","size":4,"tags":[],"values":[]})");
}

class FunctionHelpTest : public Help {
protected:
    void SetUp() override {
        Help::SetUp();
        RegisterBindingType<Pair>(registry_);
        std::string error;
        ASSERT_TRUE(ExposeFunction(functions_, registry_,
                                   {.name = "Full",
                                    .arguments = {{.name = "pairs", .optional = true, .description = "-some {pairs}"},
                                                  {.name = "bare"}},
                                    .description = "Does {it}.",
                                    .help = "-Twice.",
                                    .threadSafe = true,
                                    .async = true,
                                    .tags = {"x", "y"}},
                                   [](std::vector<Pair>, std::map<std::string, int64_t>) { return Pair{}; }, &error))
            << error;
        ASSERT_TRUE(ExposeFunction(functions_, registry_, {.name = "Bare", .description = "Nothing else."}, [] {},
                                   &error))
            << error;
    }

    const BindingFunctionDescription& Function(const char* name) { return functions_.Find(name)->description; }

    FunctionTable functions_;
};

TEST_F(FunctionHelpTest, EveryPartOfAFunctionInEpytext) {
    EXPECT_EQ(FunctionEpytext(Function("Full")),
              "Does E{lb}itE{rb}.\r\n\r\n"
              "E{-}Twice.\r\n\r\n"
              "@param pairs: (optional) E{-}some E{lb}pairsE{rb}\r\n"
              "@type pairs: list[L{Pair}]\r\n"
              "@type bare: dict[int64]\r\n"
              "@rtype: L{Pair}\r\n"
              "@tags: x,y\r\n"
              "@threadsafe: true\r\n"
              "@async: L{Pair}\r\n");
    EXPECT_EQ(FunctionEpytext(Function("Bare")), "Nothing else.\r\n\r\n") << "only its description block";
    BindingFunctionDescription plain;
    plain.result = TypeRefOf<Pair>(&registry_);
    EXPECT_EQ(FunctionEpytext(plain), "@rtype: L{Pair}\r\n") << "neither thread-safe nor asynchronous unless said";
}

TEST_F(FunctionHelpTest, FunctionsInTheFullFormat) {
    BindingResult full;
    NativeToValue(full, FunctionHelp(Function("Full")), &registry_);
    ASSERT_TRUE(full.ok) << full.Message();
    EXPECT_EQ(SerializeJson(full.value, nullptr),
              R"({"arguments":[{"description":"-some {pairs}","name":"pairs","optional":true,)"
              R"("type":{"elementType":"Pair","type":"vector"}},)"
              R"({"description":"","name":"bare","optional":false,"type":{"elementType":"int64","type":"map"}}],)"
              R"("async":"Pair","description":"Does {it}.","help":"-Twice.","name":"Full","nameSpace":"",)"
              R"("returns":{"elementType":"","type":"Pair"},"tags":["x","y"],"threadSafe":true})");
}

TEST_F(FunctionHelpTest, HelpOverEverythingSortedByName) {
    const BindingProperty epytext = ApiHelp(registry_, functions_, BindingHelpFormat::Epytext);
    const BindingProperty& functions = epytext.GetMember("functions");
    ASSERT_EQ(functions.Kind(), BindingKind::Structure);
    ASSERT_EQ(functions.Count(), 2u);
    EXPECT_EQ(functions.GetMember("Bare").AsString(), "Nothing else.\r\n\r\n");
    EXPECT_EQ(epytext.GetMember("types").Count(), registry_.Types().size());
    EXPECT_EQ(epytext.GetMember("types").GetMember("Pair").AsString(), "@ivar a: one {half}\r\n@type a: int32\r\n");
    EXPECT_EQ(epytext.GetMember("events").GetMember("OnCallback").AsString(),
              "Fired when a callback is invoked.\r\n\r\n@tags: $builtin\r\n");

    const BindingProperty full = ApiHelp(registry_, functions_, BindingHelpFormat::Full);
    const BindingProperty& fullFunctions = full.GetMember("functions");
    ASSERT_EQ(fullFunctions.Kind(), BindingKind::Collection);
    ASSERT_EQ(fullFunctions.Count(), 2u);
    EXPECT_EQ(fullFunctions.GetElement(0).GetMember("name").AsString(), "Bare");
    EXPECT_EQ(fullFunctions.GetElement(1).GetMember("name").AsString(), "Full");
    const BindingProperty& types = full.GetMember("types");
    ASSERT_EQ(types.Count(), registry_.Types().size());
    for (std::size_t i = 1; i < types.Count(); ++i) {
        EXPECT_LT(types.GetElement(i - 1).GetMember("name").AsString(), types.GetElement(i).GetMember("name").AsString());
    }
    EXPECT_EQ(SerializeJson(full.GetMember("events"), nullptr),
              R"([{"description":"Fired when a callback is invoked.","name":"OnCallback","nameSpace":"",)"
              R"("tags":["$builtin"],"type":{"elementType":"","type":"BindingCallbackEvent"}}])");

    const BindingProperty none = ApiHelp(registry_, functions_, static_cast<BindingHelpFormat>(3));
    EXPECT_EQ(none.Count(), 3u);
    for (const char* member : {"functions", "types", "events"}) {
        ASSERT_NE(none.FindMember(member), nullptr) << member;
        EXPECT_TRUE(none.GetMember(member).IsEmpty()) << member;
    }
}

TEST_F(FunctionHelpTest, FullHelpWithoutTheHelpTypesLeavesEmptyElements) {
    TypeRegistry bare;  // never set up: no help types
    std::vector<const BindingFunctionDescription*> functions = {&Function("Full")};
    const BindingProperty help = Vorn::Help(bare, functions, {}, {}, BindingHelpFormat::Full);
    ASSERT_EQ(help.GetMember("functions").Count(), 1u);
    EXPECT_TRUE(help.GetMember("functions").GetElement(0).IsEmpty());
    EXPECT_EQ(help.GetMember("types").Kind(), BindingKind::Collection) << "an empty list, still a list";
    EXPECT_EQ(help.GetMember("types").Count(), 0u);
}

}  // namespace
}  // namespace Vorn

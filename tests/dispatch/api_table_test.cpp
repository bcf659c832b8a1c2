#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "binding/binding_descriptor.h"
#include "boundary_field.h"
#include "dispatch/api_table.h"
#include "dispatch/expose_function.h"

namespace Vorn {
namespace {

enum class Tone : int32_t { Low = 2, High = -1 };
struct Note {
    std::string name;
    Tone tone = Tone::Low;
};
struct Chord {
    std::vector<Note> notes;
    std::vector<uint64_t> times;
};
struct Rest {};

}  // namespace

template <>
struct BindingDescriptor<Tone> {
    static constexpr const char* kName = "Tone";
    static constexpr BindingEnumeratorSpec kEnumerators[] = {{"Low", 2, "deep"}, {"High", -1}};
};
template <>
struct BindingDescriptor<Note> {
    static constexpr const char* kName = "Note";
    static constexpr std::string_view kTags[] = {"music", "test"};
    static constexpr auto kFields =
        std::make_tuple(BindingField("name", &Note::name, "what it is called"), BindingField("tone", &Note::tone));
};
template <>
struct BindingDescriptor<Chord> {
    static constexpr const char* kName = "Chord";
    static constexpr auto kFields = std::make_tuple(BindingField("notes", &Chord::notes, "", 0, true),
                                                    BindingField("times", &Chord::times));
};
template <>
struct BindingDescriptor<Rest> {
    static constexpr const char* kName = "Rest";
    static constexpr auto kFields = std::make_tuple();
};

namespace {

using Testing::Field;

const ApiTypeEntry* FindType(const ApiTable& table, const char* name) {
    for (uint32_t i = 0; i < table.typeCount; ++i) {
        if (std::strcmp(table.types[i].name, name) == 0) return &table.types[i];
    }
    return nullptr;
}

class ApiTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        registry_.SetUp();
        RegisterBindingType<Tone>(registry_, "Test");
        RegisterBindingType<Note>(registry_, "Test");
        RegisterBindingType<Chord>(registry_, "Test");
        RegisterBindingType<Rest>(registry_, "Test");
        storage_ = BuildApiTable(registry_);
    }
    const ApiTable& Table() const { return *storage_->Table(); }

    TypeRegistry registry_;
    std::unique_ptr<ApiTableStorage> storage_;
};

TEST_F(ApiTableTest, NoFunctionsButEveryTypeAndEvent) {
    EXPECT_EQ(Table().functions, nullptr);
    EXPECT_EQ(Table().functionCount, 0u);
    EXPECT_EQ(Table().typeCount, registry_.Types().size());
    EXPECT_EQ(Table().eventCount, registry_.Events().size());
    ASSERT_GT(Table().eventCount, 0u);  // the built-in OnCallback
    std::set<std::string> names;
    for (uint32_t i = 0; i < Table().typeCount; ++i) names.insert(Table().types[i].name);
    EXPECT_EQ(names.size(), Table().typeCount) << "type names are unique";
}

TEST_F(ApiTableTest, ArraysAreAlsoLinkedLists) {
    for (uint32_t i = 0; i < Table().typeCount; ++i) {
        const ApiTypeEntry& type = Table().types[i];
        EXPECT_EQ(Field(type.next), i + 1 < Table().typeCount ? &Table().types[i + 1] : nullptr);
        const auto* members = type.members;
        for (uint32_t m = 0; members != nullptr && m < type.count; ++m) {
            EXPECT_EQ(Field(members[m].next), m + 1 < Field(type.count) ? &members[m + 1] : nullptr) << Field(type.name);
        }
    }
    for (uint32_t i = 0; i < Table().eventCount; ++i) {
        EXPECT_EQ(Table().events[i].next, i + 1 < Table().eventCount ? &Table().events[i + 1] : nullptr);
    }
}

TEST_F(ApiTableTest, StructureMembersCarryCodesOffsetsAndDescribedNames) {
    const ApiTypeEntry* note = FindType(Table(), "TestNote");
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(Field(note->size), sizeof(Note));
    EXPECT_STREQ(Field(note->nameSpace), "") << "empty texts are texts, not null";
    EXPECT_STREQ(Field(note->description), "");
    ASSERT_EQ(Field(note->count), 2u);
    EXPECT_EQ(Field(note->enumerators), nullptr);
    ASSERT_EQ(Field(note->tagCount), 2u);
    EXPECT_STREQ(Field(note->tags)[1], "test");
    EXPECT_STREQ(Field(note->members[0].name), "name");
    EXPECT_STREQ(Field(note->members[0].description), "what it is called");
    EXPECT_EQ(Field(note->members[0].type), 12u);
    EXPECT_STREQ(Field(note->members[0].describedType), "");
    EXPECT_EQ(Field(note->members[1].offset), offsetof(Note, tone));
    EXPECT_EQ(Field(note->members[1].type), 16u);
    EXPECT_STREQ(Field(note->members[1].describedType), "TestTone");

    const ApiTypeEntry* chord = FindType(Table(), "TestChord");
    ASSERT_NE(chord, nullptr);
    const ApiMemberEntry& notes = chord->members[0];
    EXPECT_EQ(Field(notes.type), 15u);
    EXPECT_EQ(Field(notes.elementType), 17u);
    EXPECT_STREQ(Field(notes.describedType), "TestNote");
    EXPECT_EQ(Field(notes.optional), 1u);
    const ApiMemberEntry& times = chord->members[1];
    EXPECT_EQ(Field(times.type), 15u);
    EXPECT_EQ(Field(times.elementType), 9u);
    EXPECT_STREQ(Field(times.describedType), "") << "a vector of numbers describes no type";
}

TEST_F(ApiTableTest, EnumerationsInNameOrderAndEmptyStructures) {
    const ApiTypeEntry* tone = FindType(Table(), "TestTone");
    ASSERT_NE(tone, nullptr);
    EXPECT_EQ(Field(tone->members), nullptr);
    ASSERT_EQ(Field(tone->count), 2u);
    EXPECT_STREQ(Field(tone->enumerators[0].name), "High");
    EXPECT_EQ(Field(tone->enumerators[0].value), -1);
    EXPECT_STREQ(Field(tone->enumerators[1].name), "Low");
    EXPECT_STREQ(Field(tone->enumerators[1].description), "deep");
    EXPECT_EQ(Field(tone->enumerators[0].next), &tone->enumerators[1]);
    EXPECT_EQ(Field(tone->enumerators[1].next), nullptr);

    const ApiTypeEntry* rest = FindType(Table(), "TestRest");
    ASSERT_NE(rest, nullptr);
    EXPECT_EQ(Field(rest->members), nullptr);
    EXPECT_EQ(Field(rest->enumerators), nullptr);
    EXPECT_EQ(Field(rest->count), 0u);
}

TEST_F(ApiTableTest, EventsNameTheirPayloadType) {
    ASSERT_EQ(Table().eventCount, 1u);
    const ApiEventEntry& event = Table().events[0];
    EXPECT_STREQ(Field(event.name), "OnCallback");
    EXPECT_STREQ(Field(event.nameSpace), "");
    EXPECT_STREQ(Field(event.payloadType), "BindingCallbackEvent");
    EXPECT_STREQ(Field(event.description), "Fired when a callback is invoked.");
    ASSERT_EQ(Field(event.tagCount), 1u);
    EXPECT_STREQ(Field(event.tags)[0], "$builtin");
}

// Describes a function; never called.
class IdleInvoker : public FunctionInvoker {
public:
    uintptr_t Invoke(CallOutcome&, std::span<const BindingProperty>, uintptr_t) override { return 0; }
    void Complete(CallOutcome&, const CallContext*, uintptr_t, uintptr_t) override {}
    void Release(uintptr_t) override {}
    uint32_t ResultType() const override { return 0; }
};

TEST_F(ApiTableTest, FunctionEntriesCarryTheirDescriptionBindingAndContext) {
    FunctionTable functions;
    std::string error;
    ASSERT_TRUE(ExposeFunction(functions, registry_,
                               {.name = "Play",
                                .pathTemplate = "/v1/notes/{note}",
                                .method = kHostMethodCustom,
                                .customMethod = "STRUM",
                                .arguments = {{.name = "note", .location = ArgumentLocation::Body, .description = "what"},
                                              {.name = "times", .location = ArgumentLocation::Query, .optional = true}},
                                .description = "Plays a note.",
                                .help = "Loudly.",
                                .nameSpace = "Band",
                                .threadSafe = true,
                                .async = true,
                                .tags = {"music"}},
                               [](Note, std::vector<uint64_t>) { return Chord{}; }, &error))
        << error;
    // Type codes outside their ranges (a method code past 8 is refused when
    // the function is added), and types shown instead of the native ones.
    BindingFunctionDescription raw;
    raw.name = "Raw";
    raw.method = kHostMethodPut;
    raw.arguments.resize(3);
    raw.arguments[0].name = "a";
    raw.arguments[0].type = TypeRefOf<BindingProperty>(&registry_);
    raw.arguments[0].shownType = TypeRefOf<std::vector<Note>>(&registry_);
    raw.arguments[1].name = "b";
    raw.arguments[1].type = {BindingType::Map, BindingType::Bool};
    raw.arguments[2].name = "c";
    raw.arguments[2].type = {static_cast<BindingType>(20), static_cast<BindingType>(0xFFFFFFFF)};
    raw.locations = {ArgumentLocation::Any, static_cast<ArgumentLocation>(3), static_cast<ArgumentLocation>(9)};
    raw.result = TypeRefOf<BindingProperty>(&registry_);
    raw.shownResult = TypeRefOf<std::vector<Tone>>(&registry_);
    raw.invoker = std::make_unique<IdleInvoker>();
    ASSERT_TRUE(functions.Add(std::move(raw), &error)) << error;

    storage_ = BuildApiTable(registry_, &functions);
    ASSERT_EQ(Table().functionCount, 2u);
    const ApiFunctionEntry& play = Table().functions[0];
    EXPECT_EQ(Field(play.next), &Table().functions[1]);
    EXPECT_EQ(Field(play.reserved), 0u);
    EXPECT_STREQ(Field(play.name), "Play");
    EXPECT_STREQ(Field(play.nameSpace), "Band");
    EXPECT_STREQ(Field(play.pathTemplate), "/v1/notes/{note}");
    EXPECT_EQ(Field(play.method), 8u);
    EXPECT_STREQ(Field(play.customMethod), "STRUM");
    EXPECT_STREQ(Field(play.description), "Plays a note.");
    EXPECT_STREQ(Field(play.help), "Loudly.");
    EXPECT_EQ(Field(play.threadSafe), 1u);
    EXPECT_STREQ(Field(play.async), "TestChord") << "the type the asynchronous result comes as";
    EXPECT_EQ(Field(play.resultType), 17u);
    EXPECT_STREQ(Field(play.resultDescribedType), "TestChord");
    ASSERT_EQ(Field(play.tagCount), 1u);
    EXPECT_STREQ(Field(play.tags)[0], "music");
    EXPECT_EQ(Field(play.call), &CallExposedFunction);
    EXPECT_EQ(Field(play.flags), 0u);
    EXPECT_EQ(Field(play.textLists), nullptr);
    EXPECT_EQ(Field(play.textListCount), 0u);
    ASSERT_EQ(Field(play.argumentCount), 2u);
    const ApiArgumentEntry* note = Field(play.arguments);
    EXPECT_STREQ(Field(note[0].name), "note");
    EXPECT_STREQ(Field(note[0].description), "what");
    EXPECT_EQ(Field(note[0].type), 17u);
    EXPECT_STREQ(Field(note[0].describedType), "TestNote");
    EXPECT_EQ(Field(note[0].optional), 0u);
    EXPECT_EQ(Field(note[0].next), &note[1]);
    EXPECT_EQ(Field(note[1].type), 15u);
    EXPECT_EQ(Field(note[1].elementType), 9u);
    EXPECT_EQ(Field(note[1].optional), 1u);
    EXPECT_EQ(Field(note[1].next), nullptr);
    const ApiArgumentLocation* locations = Field(play.locations);
    EXPECT_EQ(Field(locations[0].location), 5u);
    EXPECT_EQ(Field(locations[1].location), 1u);
    const auto* context = static_cast<const FunctionCallContext*>(Field(play.context));
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->registry, &registry_);
    EXPECT_EQ(context->function->description.name, "Play");

    const ApiFunctionEntry& rawEntry = Table().functions[1];
    EXPECT_EQ(Field(rawEntry.method), 7u);
    EXPECT_EQ(Field(rawEntry.resultType), 15u) << "the shown result type";
    EXPECT_EQ(Field(rawEntry.resultElementType), 16u);
    EXPECT_STREQ(Field(rawEntry.resultDescribedType), "TestTone");
    EXPECT_EQ(Field(rawEntry.threadSafe), 0u);
    EXPECT_STREQ(Field(rawEntry.async), "") << "a synchronous function";
    const ApiArgumentEntry* a = Field(rawEntry.arguments);
    EXPECT_EQ(Field(a[0].type), 15u) << "the shown argument type";
    EXPECT_EQ(Field(a[0].elementType), 17u);
    EXPECT_STREQ(Field(a[0].describedType), "TestNote");
    // Type codes 1 to 19 pass as they are; others go out as 0.
    EXPECT_EQ(Field(a[1].type), 19u);
    EXPECT_EQ(Field(a[1].elementType), 1u);
    EXPECT_EQ(Field(a[2].type), 0u);
    EXPECT_EQ(Field(a[2].elementType), 0u);
    const ApiArgumentLocation* rawLocations = Field(rawEntry.locations);
    EXPECT_EQ(Field(rawLocations[0].location), 0u);
    EXPECT_EQ(Field(rawLocations[1].location), 3u) << "codes 1 to 5 pass as they are";
    EXPECT_EQ(Field(rawLocations[2].location), 0u);
    EXPECT_EQ(Field(rawLocations[2].next), nullptr);
}

}  // namespace
}  // namespace Vorn

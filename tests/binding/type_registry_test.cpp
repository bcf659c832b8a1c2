#include "binding/type_registry.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "binding/builtin_types.h"
#include "binding/help_types.h"

namespace Vorn {
namespace {

enum class Color : int32_t { Red = 0, Green = 1 };
struct Point {
    int32_t x = 0;
    int32_t y = 0;
};
struct Shape {
    std::string name;
    std::vector<Point> corners;
    std::map<std::string, int32_t> weights;
    Color color = Color::Red;
};

}  // namespace

template <>
struct BindingDescriptor<Color> {
    static constexpr const char* kName = "Color";
    static constexpr BindingEnumeratorSpec kEnumerators[] = {{"Red", 0}, {"Green", 1}};
};
template <>
struct BindingDescriptor<Point> {
    static constexpr const char* kName = "Point";
    static constexpr auto kFields = std::make_tuple(BindingField("x", &Point::x), BindingField("y", &Point::y));
};
template <>
struct BindingDescriptor<Shape> {
    static constexpr const char* kName = "Shape";
    static constexpr const char* kDescription = "A polygon.";
    static constexpr auto kFields =
        std::make_tuple(BindingField("name", &Shape::name, "Its name"), BindingField("corners", &Shape::corners),
                        BindingField("weights", &Shape::weights), BindingField("color", &Shape::color, "", 0, true));
};

namespace {

TEST(TypeIdentifier, TextIsHashAndEightUpperCaseDigits) {
    EXPECT_STREQ(MakeTypeIdentifier(0x00000000).text, "#00000000");
    EXPECT_STREQ(MakeTypeIdentifier(0xAE376D12).text, "#AE376D12");
    EXPECT_STREQ(TypeIdOf<BindingAsyncState>().text, "#4B896D21");
    EXPECT_EQ(TypeIdOf<BindingAsyncState>().value, 0x4B896D21u);
    // Fixed identifiers of lists, and one static per type.
    EXPECT_EQ(TypeIdOf<std::vector<BindingFullArgumentHelp>>().value, 0xAE376D12u);
    EXPECT_EQ(TypeIdOf<std::vector<BindingProperty>>().value, 0xE980F126u);
    EXPECT_EQ(&TypeIdOf<Point>(), &TypeIdOf<Point>());
}

TEST(TypeIdentifier, DerivedIdentifiersAreStableAndDistinct) {
    // Derived from fixed names, so they do not depend on the compiler: the
    // 32-bit FNV-1a hashes of "int32", "Point" and "vector<Point>".
    EXPECT_EQ(TypeIdOf<int32_t>().value, 0xFBDEE2BFu);
    EXPECT_EQ(TypeIdOf<int8_t>().value, 0x6491FA92u);
    EXPECT_EQ(TypeIdOf<Point>().value, 0xEAA8EF31u);
    EXPECT_EQ(TypeIdOf<std::vector<Point>>().value, 0xEA4DFFD6u);
    const uint32_t ids[] = {TypeIdOf<int32_t>().value,           TypeIdOf<uint32_t>().value,
                            TypeIdOf<std::string>().value,       TypeIdOf<Point>().value,
                            TypeIdOf<std::vector<Point>>().value, TypeIdOf<std::map<std::string, int32_t>>().value,
                            TypeIdOf<Shape>().value,             TypeIdOf<Color>().value};
    for (std::size_t i = 0; i < std::size(ids); ++i) {
        for (std::size_t j = i + 1; j < std::size(ids); ++j) EXPECT_NE(ids[i], ids[j]) << i << " " << j;
    }
}

TEST(TypeRegistry, DescribesRecordsFromTheirDescriptor) {
    TypeRegistry registry;
    RegisterBindingType<Color>(registry);
    RegisterBindingType<Point>(registry);
    const BindingTypeDescription* shape = RegisterBindingType<Shape>(registry, "Geo");
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(shape->name, "GeoShape");
    EXPECT_EQ(shape->description, "A polygon.");
    EXPECT_EQ(shape->size, sizeof(Shape));
    EXPECT_FALSE(shape->isEnum);
    ASSERT_EQ(shape->members.size(), 4u);
    const BindingFieldDescription& name = shape->members[0];
    EXPECT_EQ(name.name, "name");
    EXPECT_EQ(name.nameHash, 0x8D39BDE6u);  // FNV-1a of "name"
    EXPECT_EQ(name.description, "Its name");
    const Shape sample;
    auto offsetOf = [&sample](const void* member) {
        return static_cast<uint32_t>(static_cast<const char*>(member) - reinterpret_cast<const char*>(&sample));
    };
    EXPECT_EQ(name.offset, offsetOf(&sample.name));
    EXPECT_EQ(name.typeRef.type, BindingType::String);
    EXPECT_EQ(name.owner, shape);
    EXPECT_FALSE(name.optional);
    EXPECT_TRUE(shape->members[3].optional);
    // Declared name, corners, weights, color; by name color, corners, name, weights.
    EXPECT_EQ(shape->membersByName, (std::vector<uint32_t>{3, 1, 0, 2}));
    EXPECT_EQ(shape->members[1].offset, offsetOf(&sample.corners));
    EXPECT_EQ(shape->members[1].typeRef.type, BindingType::Vector);
    EXPECT_EQ(shape->members[1].typeRef.elementType, BindingType::Struct);
    EXPECT_EQ(shape->members[1].typeRef.described, registry.FindByName("Point"));
    EXPECT_EQ(shape->members[1].typeIdentifier, &TypeIdOf<std::vector<Point>>());
    EXPECT_EQ(shape->members[2].typeRef.type, BindingType::Map);
    EXPECT_EQ(shape->members[2].typeRef.elementType, BindingType::Int32);
    EXPECT_EQ(shape->members[3].typeRef.described, registry.FindByName("Color"));
    EXPECT_EQ(registry.FindByIdentifier(&TypeIdOf<Shape>()), shape);
    EXPECT_EQ(registry.FindByName("Shape"), nullptr);  // registered under its prefix
}

TEST(TypeRegistry, TypesNameTheirMembersForHelpAndNatively) {
    TypeRegistry registry;
    RegisterBindingType<Color>(registry);
    RegisterBindingType<Point>(registry);
    const BindingTypeDescription* shape = RegisterBindingType<Shape>(registry);
    const TypeRef& corners = shape->members[1].typeRef;
    EXPECT_EQ(HelpTypeName(corners), "list[L{Point}]");
    EXPECT_EQ(NativeTypeName(corners).type, "vector");
    EXPECT_EQ(NativeTypeName(corners).elementType, "Point");
    EXPECT_EQ(HelpTypeName(shape->members[2].typeRef), "dict[int32]");
    EXPECT_EQ(NativeTypeName(shape->members[2].typeRef).elementType, "int32");
    EXPECT_EQ(HelpTypeName(shape->members[3].typeRef), "L{Color}");
    EXPECT_EQ(NativeTypeName(shape->members[3].typeRef).type, "Color");

    struct Case {
        TypeRef ref;
        const char* help;
        const char* native;
    } cases[] = {
        {{BindingType::Blob}, "bytearray", "blob"},
        {{BindingType::Object}, "object", "object"},
        {{BindingType::Callback}, "callback", "callback"},
        {{BindingType::UInt64}, "uint64", "uint64"},
        {{BindingType::Enum}, "L{}", "enum"},  // no description
        {{BindingType::Struct}, "L{}", "struct"},
        {{BindingType::Map, BindingType::String}, "dict[string]", "map"},
        {{static_cast<BindingType>(20)}, "", ""},
        {{BindingType::None}, "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HelpTypeName(c.ref), c.help);
        EXPECT_EQ(NativeTypeName(c.ref).type, c.native);
    }
    // The codes are the host's: shape n is the n-th of these, with its name.
    const std::pair<BindingType, const char*> shapes[] = {
        {BindingType::Bool, "bool"},     {BindingType::Int8, "int8"},     {BindingType::UInt8, "uint8"},
        {BindingType::Int16, "int16"},   {BindingType::UInt16, "uint16"}, {BindingType::Int32, "int32"},
        {BindingType::UInt32, "uint32"}, {BindingType::Int64, "int64"},   {BindingType::UInt64, "uint64"},
        {BindingType::Float, "float"},   {BindingType::Double, "double"}, {BindingType::String, "string"},
        {BindingType::Object, "object"}, {BindingType::Blob, "blob"},     {BindingType::Vector, "vector"},
        {BindingType::Enum, "enum"},     {BindingType::Struct, "struct"}, {BindingType::Callback, "callback"},
        {BindingType::Map, "map"}};
    uint32_t code = 0;
    for (const auto& [shape, name] : shapes) {
        EXPECT_EQ(static_cast<uint32_t>(shape), ++code) << name;
        EXPECT_STREQ(ShapeName(shape), name);
    }
    EXPECT_STREQ(ShapeName(static_cast<BindingType>(99)), "");
}

TEST(TypeRegistry, FirstRegistrationOfANameWins) {
    TypeRegistry registry;
    registry.SetUp();
    const BindingTypeDescription* first = registry.FindByName("BindingAsyncState");
    ASSERT_NE(first, nullptr);
    TypeBuilder again = registry.BeginType("BindingAsyncState", 4, &TypeIdOf<BindingAsyncState>(), true);
    EXPECT_TRUE(again.IsInert());
    again.AddEnumerator("Other", 42).SetDescription("changed").SetNameSpace("ns").AddTag("x");
    EXPECT_EQ(registry.FindByName("BindingAsyncState"), first);
    EXPECT_EQ(first->enumerators.size(), 6u);
    EXPECT_EQ(first->enumerators.count("Other"), 0u);
    EXPECT_EQ(first->description, "Possible states of an asynchronous operation.");
    EXPECT_EQ(first->nameSpace, "");
}

TEST(TypeRegistry, EnumeratorsAndTags) {
    TypeRegistry registry;
    static constexpr TypeIdentifier kId = MakeTypeIdentifier(0x12345678);
    TypeBuilder builder = registry.BeginType("Level", 4, &kId, true);
    builder.AddEnumerator("Zeta", 0, "last").AddEnumerator("Alpha", 1).AddEnumerator("Beta", 1);
    builder.AddEnumerator("Zeta", 5, "replaced").AddTag("").AddTag("t1").AddTag("t2").SetNameSpace("Game");
    const BindingTypeDescription* level = builder.Description();
    EXPECT_EQ(level->nameSpace, "Game");
    EXPECT_EQ(level->enumerators.at("Zeta").number, 5);
    EXPECT_EQ(level->enumerators.at("Zeta").description, "replaced");
    EXPECT_EQ(level->tags, (std::vector<std::string>{"t1", "t2"}));
    // Name order: Alpha comes before Beta for the shared number.
    EXPECT_EQ(registry.EnumeratorName(&kId, 1), "Alpha");
    EXPECT_EQ(registry.EnumeratorName(&kId, 5), "Zeta");
    EXPECT_EQ(registry.EnumeratorName(&kId, 0), std::nullopt);
    EXPECT_TRUE(level->HasEnumerator(5));
    EXPECT_FALSE(level->HasEnumerator(0));
}

TEST(TypeRegistry, IdentifierLookups) {
    TypeRegistry registry;
    static constexpr TypeIdentifier kReserved = MakeTypeIdentifier(kReservedTypeIdentifier);
    static constexpr TypeIdentifier kOther = MakeTypeIdentifier(0xDEADBEEF);
    TypeBuilder reserved = registry.BeginType("Reserved", 8, &kReserved, false);
    EXPECT_FALSE(reserved.IsInert());
    EXPECT_NE(registry.FindByName("Reserved"), nullptr);
    EXPECT_EQ(registry.FindByIdentifier(&kReserved), nullptr);  // never indexed by identifier
    EXPECT_EQ(registry.FindByIdentifier(&kOther), nullptr);     // never registered: nothing, no error
    EXPECT_EQ(registry.FindByIdentifier(nullptr), nullptr);
    // Many identifiers grow the index; every one stays findable.
    // (GCC 12 warns falsely about "T" + std::to_string.)
    auto nameOf = [](uint32_t i) {
        std::string name = "T";
        name += std::to_string(i);
        return name;
    };
    std::vector<TypeIdentifier> ids;
    ids.reserve(200);
    for (uint32_t i = 0; i < 200; ++i) {
        ids.push_back(MakeTypeIdentifier(0x1000 + i * 7919));
        registry.BeginType(nameOf(i), 4, &ids.back(), false);
    }
    for (uint32_t i = 0; i < 200; ++i) EXPECT_EQ(registry.FindByIdentifier(&ids[i])->name, nameOf(i));
}

TEST(TypeRegistry, MemberTypesMustBeRegisteredFirst) {
    TypeRegistry registry;
    // Shape before Point and Color: its members cannot be tied to them.
    const BindingTypeDescription* early = RegisterBindingType<Shape>(registry);
    EXPECT_EQ(early->members[1].typeRef.described, nullptr);
    EXPECT_EQ(early->members[3].typeRef.described, nullptr);
    RegisterBindingType<Point>(registry);
    EXPECT_EQ(early->members[1].typeRef.described, nullptr);  // not tied afterwards either
}

TEST(TypeRegistry, SetUpRegistersHelpAndBuiltInTypesThenTheEvent) {
    TypeRegistry registry;
    EXPECT_FALSE(registry.IsFilled());
    registry.SetUp();
    EXPECT_TRUE(registry.IsFilled());
    std::vector<std::string> names;
    for (const BindingTypeDescription* type : registry.Types()) names.push_back(type->name);
    const std::vector<std::string> expected = {
        "BindingHelpFormat",     "BindingFullTypeIdentifier", "BindingFullArgumentHelp", "BindingFullFunctionHelp",
        "BindingFullEnumValueHelp", "BindingFullFieldHelp",   "BindingFullTypeHelp",     "BindingFullEventHelp",
        "BindingFullApiHelp",    "BindingAsyncState",         "BindingGenericEvent",     "BindingCallbackEvent",
        "BindingGenericAsyncEvent", "BindingAsyncFailureEvent", "BindingAsyncCancelEvent"};
    EXPECT_EQ(names, expected);

    const BindingTypeDescription* typeHelp = registry.FindByIdentifier(0x7534AFEA);
    ASSERT_NE(typeHelp, nullptr);
    EXPECT_EQ(typeHelp->name, "BindingFullTypeHelp");
    EXPECT_EQ(typeHelp->description, "Describes a struct or enum type.");
    EXPECT_EQ(typeHelp->tags, (std::vector<std::string>{"$builtin", "help"}));
    EXPECT_EQ(typeHelp->members[5].name, "fields");
    EXPECT_EQ(typeHelp->members[5].typeIdentifier->value, 0x91BDEEC6u);
    EXPECT_EQ(HelpTypeName(typeHelp->members[5].typeRef), "list[L{BindingFullFieldHelp}]");
    EXPECT_EQ(HelpTypeName(typeHelp->members[4].typeRef), "list[string]");

    const BindingTypeDescription* failure = registry.FindByName("BindingAsyncFailureEvent");
    EXPECT_EQ(failure->tags, (std::vector<std::string>{"$builtin", "async"}));
    EXPECT_EQ(failure->members[1].description, "Error message");

    const BindingEventDescription* event = registry.FindEvent("OnCallback");
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(event->payload, registry.FindByIdentifier(0x4B3E42BB));
    EXPECT_EQ(event->description, "Fired when a callback is invoked.");
    EXPECT_EQ(event->tags, (std::vector<std::string>{"$builtin"}));
    // An existing event is left unchanged.
    registry.RegisterEvent("OnCallback", nullptr, "other");
    EXPECT_EQ(registry.FindEvent("OnCallback")->description, "Fired when a callback is invoked.");
}

TEST(TypeRegistry, ClearingHappensOnceAndOnlyWhenFilled) {
    TypeRegistry registry;
    int cleared = 0;
    registry.SetClearHook([&cleared] { ++cleared; });
    registry.Clear();
    EXPECT_EQ(cleared, 0);  // never filled: nothing to do
    registry.SetUp();
    registry.Clear();
    EXPECT_EQ(cleared, 1);
    EXPECT_EQ(registry.FindByName("BindingAsyncState"), nullptr);
    EXPECT_EQ(registry.FindByIdentifier(0x4B896D21), nullptr);
    EXPECT_EQ(registry.FindEvent("OnCallback"), nullptr);
    EXPECT_TRUE(registry.Types().empty());
    registry.Clear();
    EXPECT_EQ(cleared, 1);
    registry.SetUp();  // filled again
    EXPECT_NE(registry.FindByName("BindingAsyncState"), nullptr);
    // Setting up a filled registry starts again from the built-in types:
    // a plug-in's type of the last run is gone.
    const std::size_t builtIn = registry.Types().size();
    RegisterBindingType<Point>(registry);
    registry.SetUp();
    EXPECT_EQ(cleared, 2);
    EXPECT_EQ(registry.Types().size(), builtIn);
    EXPECT_EQ(registry.FindByName("Point"), nullptr);
}

TEST(TypeRegistry, APlugInEnumWithABuiltInNameHasNoEffect) {
    TypeRegistry registry;
    registry.SetUp();
    static constexpr TypeIdentifier kPluginId = MakeTypeIdentifier(0x01020304);
    registry.BeginType("BindingAsyncState", 4, &kPluginId, true).AddEnumerator("Mine", 9);
    EXPECT_EQ(registry.FindByIdentifier(&kPluginId), nullptr);
    EXPECT_EQ(registry.FindByName("BindingAsyncState")->identifier, 0x4B896D21u);
}

}  // namespace
}  // namespace Vorn

#pragma once
// The records in which the native API describes itself (functions, types,
// events) when help is asked for as data. Every registry carries them.
#include <cstdint>
#include <string>
#include <vector>

#include "binding/binding_descriptor.h"
#include "binding/binding_type.h"

namespace Vorn {

enum class BindingHelpFormat : int32_t {
    Full = 1,
    Epytext = 2,
};

struct BindingFullArgumentHelp {
    std::string name;
    std::string description;
    BindingFullTypeIdentifier type;
    bool optional = false;
};

struct BindingFullFunctionHelp {
    std::string name;
    std::string nameSpace;
    std::vector<BindingFullArgumentHelp> arguments;
    BindingFullTypeIdentifier returns;
    std::string description;
    std::string help;
    bool threadSafe = false;
    std::string async;  // the type the asynchronous result is reported with; empty when synchronous
    std::vector<std::string> tags;
};

struct BindingFullEnumValueHelp {
    std::string name;
    std::string description;
    int32_t value = 0;
};

struct BindingFullFieldHelp {
    std::string name;
    std::string description;
    uint32_t offset = 0;
    BindingFullTypeIdentifier type;
    bool optional = false;
};

struct BindingFullTypeHelp {
    std::string name;
    std::string nameSpace;
    uint32_t size = 0;
    std::string description;
    std::vector<std::string> tags;
    std::vector<BindingFullFieldHelp> fields;
    std::vector<BindingFullEnumValueHelp> values;
};

struct BindingFullEventHelp {
    std::string name;
    std::string nameSpace;
    BindingFullTypeIdentifier type;
    std::string description;
    std::vector<std::string> tags;
};

struct BindingFullApiHelp {
    std::vector<BindingFullFunctionHelp> functions;
    std::vector<BindingFullTypeHelp> types;
    std::vector<BindingFullEventHelp> events;
};

// The lists inside the help records carry identifiers of their own.
VORN_FIXED_TYPE_ID(std::vector<BindingFullArgumentHelp>, 0xAE376D12);
VORN_FIXED_TYPE_ID(std::vector<std::string>, 0xBFDBCD22);
VORN_FIXED_TYPE_ID(std::vector<BindingFullFieldHelp>, 0x91BDEEC6);
VORN_FIXED_TYPE_ID(std::vector<BindingFullEnumValueHelp>, 0xF613EC9E);
VORN_FIXED_TYPE_ID(std::vector<BindingFullFunctionHelp>, 0x334BF406);
VORN_FIXED_TYPE_ID(std::vector<BindingFullTypeHelp>, 0xE98B65D6);
VORN_FIXED_TYPE_ID(std::vector<BindingFullEventHelp>, 0xC8AF01A6);

inline constexpr std::string_view kHelpTags[] = {"$builtin", "help"};

template <>
struct BindingDescriptor<BindingHelpFormat> {
    static constexpr const char* kName = "BindingHelpFormat";
    static constexpr uint32_t kIdentifier = 0x2698AA94;
    static constexpr const char* kDescription = "Help format for binding functions and types.";
    static constexpr const auto& kTags = kHelpTags;
    static constexpr BindingEnumeratorSpec kEnumerators[] = {
        {"Full", 1, "Native help format"},
        {"Epytext", 2, "Python epytext format"},
    };
};

template <>
struct BindingDescriptor<BindingFullTypeIdentifier> {
    using T = BindingFullTypeIdentifier;
    static constexpr const char* kName = "BindingFullTypeIdentifier";
    static constexpr uint32_t kIdentifier = 0x88B6D4CA;
    static constexpr const char* kDescription = "Describes the type of a value.";
    static constexpr const auto& kTags = kHelpTags;
    static constexpr auto kFields = std::make_tuple(BindingField("type", &T::type),
                                                    BindingField("elementType", &T::elementType));
};

template <>
struct BindingDescriptor<BindingFullArgumentHelp> {
    using T = BindingFullArgumentHelp;
    static constexpr const char* kName = "BindingFullArgumentHelp";
    static constexpr uint32_t kIdentifier = 0x65FF9F6F;
    static constexpr const char* kDescription = "Describes a function parameter.";
    static constexpr const auto& kTags = kHelpTags;
    static constexpr auto kFields =
        std::make_tuple(BindingField("name", &T::name), BindingField("description", &T::description),
                        BindingField("type", &T::type), BindingField("optional", &T::optional));
};

template <>
struct BindingDescriptor<BindingFullFunctionHelp> {
    using T = BindingFullFunctionHelp;
    static constexpr const char* kName = "BindingFullFunctionHelp";
    static constexpr uint32_t kIdentifier = 0x835D167A;
    static constexpr const char* kDescription = "Describes a function.";
    static constexpr const auto& kTags = kHelpTags;
    static constexpr auto kFields = std::make_tuple(
        BindingField("name", &T::name), BindingField("nameSpace", &T::nameSpace),
        BindingField("arguments", &T::arguments), BindingField("returns", &T::returns),
        BindingField("description", &T::description), BindingField("help", &T::help),
        BindingField("threadSafe", &T::threadSafe), BindingField("async", &T::async), BindingField("tags", &T::tags));
};

template <>
struct BindingDescriptor<BindingFullEnumValueHelp> {
    using T = BindingFullEnumValueHelp;
    static constexpr const char* kName = "BindingFullEnumValueHelp";
    static constexpr uint32_t kIdentifier = 0xD0706E0C;
    static constexpr const char* kDescription = "Describes an enumerator.";
    static constexpr const auto& kTags = kHelpTags;
    static constexpr auto kFields = std::make_tuple(BindingField("name", &T::name),
                                                    BindingField("description", &T::description),
                                                    BindingField("value", &T::value));
};

template <>
struct BindingDescriptor<BindingFullFieldHelp> {
    using T = BindingFullFieldHelp;
    static constexpr const char* kName = "BindingFullFieldHelp";
    static constexpr uint32_t kIdentifier = 0x5E9DFDF6;
    static constexpr const char* kDescription = "Describes a member of a struct.";
    static constexpr const auto& kTags = kHelpTags;
    static constexpr auto kFields =
        std::make_tuple(BindingField("name", &T::name), BindingField("description", &T::description),
                        BindingField("offset", &T::offset), BindingField("type", &T::type),
                        BindingField("optional", &T::optional));
};

template <>
struct BindingDescriptor<BindingFullTypeHelp> {
    using T = BindingFullTypeHelp;
    static constexpr const char* kName = "BindingFullTypeHelp";
    static constexpr uint32_t kIdentifier = 0x7534AFEA;
    static constexpr const char* kDescription = "Describes a struct or enum type.";
    static constexpr const auto& kTags = kHelpTags;
    static constexpr auto kFields = std::make_tuple(
        BindingField("name", &T::name), BindingField("nameSpace", &T::nameSpace), BindingField("size", &T::size),
        BindingField("description", &T::description), BindingField("tags", &T::tags),
        BindingField("fields", &T::fields), BindingField("values", &T::values));
};

template <>
struct BindingDescriptor<BindingFullEventHelp> {
    using T = BindingFullEventHelp;
    static constexpr const char* kName = "BindingFullEventHelp";
    static constexpr uint32_t kIdentifier = 0x6178093A;
    static constexpr const char* kDescription = "Describes an event.";
    static constexpr const auto& kTags = kHelpTags;
    static constexpr auto kFields =
        std::make_tuple(BindingField("name", &T::name), BindingField("nameSpace", &T::nameSpace),
                        BindingField("type", &T::type), BindingField("description", &T::description),
                        BindingField("tags", &T::tags));
};

template <>
struct BindingDescriptor<BindingFullApiHelp> {
    using T = BindingFullApiHelp;
    static constexpr const char* kName = "BindingFullApiHelp";
    static constexpr uint32_t kIdentifier = 0x7DFB1102;
    static constexpr const char* kDescription = "Describes the exposed native API.";
    static constexpr const auto& kTags = kHelpTags;
    static constexpr auto kFields = std::make_tuple(BindingField("functions", &T::functions),
                                                    BindingField("types", &T::types),
                                                    BindingField("events", &T::events));
};

// Registers the help types, each before the records that use it.
void RegisterHelpTypes(TypeRegistry& registry);

}  // namespace Vorn

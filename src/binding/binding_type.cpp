#include "binding/binding_type.h"

#include <cstddef>
#include <iterator>

#include "binding/type_registry.h"
#include "support/message_format.h"

namespace Vorn {

namespace {

struct ShapeNames {
    const char* native;
    const char* help;
};

constexpr ShapeNames kShapes[] = {
    {"", ""},           {"bool", "bool"},     {"int8", "int8"},     {"uint8", "uint8"},   {"int16", "int16"},
    {"uint16", "uint16"}, {"int32", "int32"}, {"uint32", "uint32"}, {"int64", "int64"},   {"uint64", "uint64"},
    {"float", "float"}, {"double", "double"}, {"string", "string"}, {"object", "object"}, {"blob", "bytearray"},
    {"vector", ""},     {"enum", ""},         {"struct", ""},       {"callback", "callback"}, {"map", ""},
};

static_assert(std::size(kShapes) == static_cast<std::size_t>(BindingType::Map) + 1, "one entry per shape code");

const ShapeNames* Shape(BindingType type) {
    auto code = static_cast<uint32_t>(type);
    return code >= 1 && code < std::size(kShapes) ? &kShapes[code] : nullptr;
}

std::string DescribedName(const TypeRef& ref) { return ref.described != nullptr ? ref.described->name : ""; }

}  // namespace

const char* ShapeName(BindingType type) {
    const ShapeNames* shape = Shape(type);
    return shape != nullptr ? shape->native : "";
}

BindingFullTypeIdentifier NativeTypeName(const TypeRef& ref) {
    switch (ref.type) {
        case BindingType::Vector:
        case BindingType::Map: {
            // The element's name: its registered name for enums and structures.
            TypeRef element{ref.elementType, BindingType::None, ref.described};
            return {ShapeName(ref.type), NativeTypeName(element).type};
        }
        case BindingType::Enum:
        case BindingType::Struct:
            if (ref.described != nullptr) return {ref.described->name, ""};
            return {ShapeName(ref.type), ""};
        default: return {ShapeName(ref.type), ""};
    }
}

std::string HelpTypeName(const TypeRef& ref) {
    switch (ref.type) {
        case BindingType::Vector:
        case BindingType::Map: {
            TypeRef element{ref.elementType, BindingType::None, ref.described};
            return FormatMessage(ref.type == BindingType::Vector ? "list[%1]" : "dict[%1]", {HelpTypeName(element)});
        }
        case BindingType::Enum:
        case BindingType::Struct: return FormatMessage("L{%1}", {DescribedName(ref)});
        default: {
            const ShapeNames* shape = Shape(ref.type);
            return shape != nullptr ? shape->help : "";
        }
    }
}

}  // namespace Vorn

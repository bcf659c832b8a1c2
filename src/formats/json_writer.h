#pragma once
// A value tree to JSON text, through RapidJSON's compact or pretty writer.
//
// The root's empty value gives "" (nested empty values are null). Blobs are
// written as Base64 strings, enums by name when the registry knows one (else
// as their number), floats in RapidJSON's shortest round-trip form; a NaN or
// infinite float cannot be JSON and is written as null. Structure members
// come out in byte order of their names.
#include <string>
#include <string_view>

#include "binding/binding_property.h"
#include "binding/type_registry.h"

namespace Vorn {

enum class JsonLayout {
    Compact,  // no whitespace at all
    Pretty,   // one entry a line, indented by 4 spaces
};

struct JsonWriteOptions {
    JsonLayout layout = JsonLayout::Compact;
    // The pretty layout's line end ("\r\n" for CR LF); empty means "\n".
    std::string_view newline = "\n";

    static JsonWriteOptions Pretty(std::string_view newline = "\n") { return {JsonLayout::Pretty, newline}; }
};

// The registry may be null; it is used only to write enums by name.
std::string SerializeJson(const BindingProperty& value, const TypeRegistry* registry,
                          const JsonWriteOptions& options = {});

}  // namespace Vorn

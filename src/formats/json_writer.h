#pragma once
// A value tree to JSON text, through RapidJSON's compact or pretty writer.
//
// The root's empty value gives "" (nested empty values are null). Blobs are
// written as Base64 strings, enums by name when the registry knows one (else
// as their number), floats in RapidJSON's shortest round-trip form; a NaN or
// infinite float cannot be JSON and is written as null. Structure members
// come out in byte order of their names.
#include <string>

#include "binding/binding_property.h"
#include "binding/type_registry.h"

namespace Vorn {

// newline null or "" selects the compact writer; any other text the pretty
// one (4-space indent), whose line ends are then replaced by newline.
std::string SerializeJson(const BindingProperty& value, const TypeRegistry* registry, const char* newline);

}  // namespace Vorn

#pragma once
// JSON text to a value tree. RapidJSON's SAX reader tokenizes (strict JSON,
// UTF-8, default flags); a handler receives its events and fills the tree
// directly, with no intermediate document.
//
// Mapping: null leaves its place empty; true/false are bools; an unsigned
// integer that fits 64 bits is unsigned, a negative one that fits is signed,
// anything else numeric is a float; strings keep every byte (an escaped \u0000
// too). A repeated key does not replace a container: objects merge their
// members, arrays append their elements, and a scalar overwrites.
//
// Failures come back in the result as "Error: <RapidJSON's text> at offset N.".
// Nesting deeper than kMaxNestingDepth stops the parse (reported as RapidJSON's
// handler-termination error at that offset), so no text can exhaust the stack.
#include <string_view>

#include "binding/binding_result.h"

namespace Vorn {

// Every reader takes its input as a std::string_view of bytes. JSON text is
// read up to its first NUL. The NUL-terminated form reads the same text
// faster (RapidJSON scans whitespace and strings 16 bytes at a time only when
// it may rely on the terminator); a null pointer reads as "".
BindingResult DeserializeJson(std::string_view text);
BindingResult DeserializeJson(const char* text);

}  // namespace Vorn

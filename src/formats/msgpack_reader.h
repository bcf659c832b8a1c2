#pragma once
// Reads a MessagePack body into one Vorn::BindingProperty tree. The system
// only ever reads MessagePack; responses go out in the other formats.
//
// Formats map to kinds as follows: positive and negative fixints and int
// 8-64 give "signed" (a positive fixint too), uint 8-64 "unsigned", float 32
// and 64 "float", str "string", bin "blob", array "collection", map
// "structure", true and false "bool". nil leaves the slot it fills as it
// was, so a new element or member stays empty and a repeated key keeps its
// earlier value. ext, fixext and the unused byte 0xC1 are errors, and map keys
// must be strings. Texts and bytes are taken as they are (no UTF-8 check).
//
// Only the first complete value is read; whatever follows it is left unread.
// An input that ends inside a container leaves that container as far as it
// was filled, and the result stays ok. Every failure message gives decimal
// byte offsets from the start of the input.
#include <cstddef>
#include <string_view>

#include "binding/binding_result.h"

namespace Vorn {

// Reads the first value of the bytes. consumed (may be null) receives the
// read position at the end: the bytes taken, or where reading stopped on
// failure.
BindingResult ReadMessagePack(std::string_view bytes, std::size_t* consumed = nullptr);

// Whether a body without a content type should be read as MessagePack: its
// first byte opens a map or an array (fixmap, fixarray, array 16/32, map
// 16/32). JSON and YAML bodies in practice start with ASCII or a byte-order
// mark, neither of which matches.
bool LooksLikeMessagePack(std::string_view bytes);

}  // namespace Vorn

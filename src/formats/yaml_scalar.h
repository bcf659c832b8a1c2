#pragma once
// How the YAML reader types one scalar, by its tag and style:
//   !!str               the text
//   !!int               "-..." signed 64-bit, else unsigned 64-bit, by the
//                       text-to-number rules of native_conversion.h
//   !!float             a double by the same rules
//   !!bool              a word of the true or false list; other text leaves
//                       the target as it was
//   any other tag       fails
//   quoted, no tag      the text
//   plain, no tag       a null word gives the empty value; then a number as
//                       ReadNumberText reads the whole text (number_text.h:
//                       as strtod would, but independent of the locale and
//                       exact for 64-bit integers), except that positive
//                       infinity ("inf", "1e999") is not a number here;
//                       then a true or false word; else the text. Literal
//                       and folded scalars count as plain.
//   true words          true True TRUE y Y yes Yes YES on On ON
//   false words         false False FALSE n N no No NO off Off OFF
//   null words          (the empty text) ~ null Null NULL
#include <cstddef>

#include "binding/binding_result.h"

namespace Vorn {

// Types one scalar into target by the table above; tag is libyaml's resolved
// tag or null; quoted is true for single- and double-quoted scalars only.
// Does nothing once result has failed.
void YamlScalarToValue(BindingResult& result, BindingProperty& target, const char* tag, const char* text,
                       std::size_t length, bool quoted);

}  // namespace Vorn

#pragma once
// The YAML reader: one YAML document into a value tree, on libyaml's event
// parser. There is no YAML writer.
//
// Shape:
//   mappings become structures, sequences collections; scalars are typed by
//   YamlScalarToValue (yaml_scalar.h). Keys are always text (a plain key 1 is
//   the member "1"); only a plain, quoted or !!str-tagged scalar may be a
//   key, the empty text included. A repeated key merges as in JSON: two
//   mappings merge their members, two sequences append, a scalar replaces.
//   Tags on mappings and sequences are ignored; "<<" is an ordinary key. A
//   stream with more than one document is refused, even when the first one
//   is empty.
//
// Anchors and aliases:
//   an alias copies the value found by its anchor's path from the root at
//   the time of the alias (the copy is independent of its source), so a
//   later repeated key that replaces the anchored node changes what later
//   aliases see. An anchor on a mapping key stands for the key's text. An
//   alias inside the node its anchor names is cyclic and fails; an alias in
//   key position fails as an invalid key.
//
// Limits: collections and structures nest at most kMaxNestingDepth deep
// (aliases' copies included); aliases copy at most
// max(kYamlAliasCopyFloor, kYamlAliasCopyPerByte * length) values per
// document (see below). Reading stops at the first event past a limit, so
// libyaml never scans further into a hostile text.
//
// Messages carry the line and column of the event they concern, both from 1;
// a parser error carries libyaml's problem mark as libyaml counts it, from 0.
#include <cstdint>
#include <string_view>

#include "binding/binding_result.h"

namespace Vorn {

// Aliases copy whole subtrees, so ten nested aliases of ten elements each
// stand for ten billion values ("billion laughs"). Every value an alias
// copies (the copied node and each value inside it) counts against
// max(kYamlAliasCopyFloor, kYamlAliasCopyPerByte * input length) per
// document: far above what a real document's aliases copy, far below what
// would exhaust memory.
inline constexpr uint64_t kYamlAliasCopyFloor = 100000;
inline constexpr uint64_t kYamlAliasCopyPerByte = 64;

// Reads one document of UTF-8 text. The root is empty for an empty or null
// document; a failure holds {"error": message}.
BindingResult DeserializeYaml(std::string_view text);

}  // namespace Vorn

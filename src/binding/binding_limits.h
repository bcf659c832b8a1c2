#pragma once
#include <cstddef>

namespace Vorn {

// The deepest nesting of collections and structures that decoders and flat
// conversion accept. Parsers that recurse (RapidJSON's reader) use a few
// hundred bytes of stack per level; 512 levels keep them far inside the
// 1 MiB stack of a host thread, and no real document comes near it.
inline constexpr std::size_t kMaxNestingDepth = 512;

}  // namespace Vorn

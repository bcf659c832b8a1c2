#pragma once
// Host event names of resource paths, and the path-pattern rule by which an
// event reaches the handlers of patterns.
#include <string>
#include <string_view>

namespace Vorn {

// "OnJsonApiEvent" and the path's non-empty segments joined by "_", keeping
// the first 4 elements (6 when the second is "qel-platform-config"):
// "/qel-gameflow/v1/session" gives "OnJsonApiEvent_qel-gameflow_v1_session".
std::string EventNameForPath(std::string_view path);

// A "*" stands for one path segment: it may be empty between two "/", must
// be followed by "/" or the end, and at the end takes at least one
// character. Both texts are scanned once, without backtracking.
bool PathPatternMatches(std::string_view pattern, std::string_view uri);

}  // namespace Vorn

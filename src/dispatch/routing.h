#pragma once
// Routing a request to an exposed function: the function's route (its path
// template compiled once, or its literal path) and its method, matched
// against the request's method and path.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "dispatch/function_description.h"
#include "dispatch/parameter_map.h"
#include "dispatch/path_template.h"

namespace Vorn {

struct Route {
    const BindingFunctionDescription* function = nullptr;
    std::string name;
    std::string templateText;  // the path template, or the function's name without one
    bool literal = true;       // no "{": the template is matched byte for byte
    PathPattern pattern;       // otherwise
    uint32_t method = 0;
    std::string customMethod;
};

struct RouteMatch {
    const Route* route = nullptr;  // the selected route
    uint32_t method = 0;
    std::string customMethod;
    std::string path;           // as the host sent it, query included
    ParameterMap parameters;    // of the selected route, URL-decoded
};

// The route of a function: its path template, or its name when it has none.
// False, with the reason in error (may be null), when the template is refused
// (path_template.h); the function can then not be exposed.
bool MakeRoute(const BindingFunctionDescription& function, Route& out, std::string* error);

// The part of the path that routes match: before its first "?".
std::string_view RoutedPath(std::string_view path);

// Selects among the routes, in order, those whose path matches the request's
// path (up to its "?") and whose method accepts the request's: method 0
// accepts all; otherwise the codes must be equal and so must the custom
// method texts. The first candidate is selected; a later one replaces it only
// when its parameter values are shorter in total; a selection without
// parameters ends the search. True when a route was selected; match then
// holds it and its parameters.
bool MatchRoutes(RouteMatch& match, std::span<const Route> routes);

}  // namespace Vorn

#include "dispatch/routing.h"

#include <vector>

#include "dispatch/url_decode.h"

namespace Vorn {

namespace {

bool MethodAccepts(const Route& route, const RouteMatch& match) {
    if (route.method == 0) return true;
    return match.method == route.method && match.customMethod == route.customMethod;
}

std::size_t TotalLength(const ParameterMap& parameters) {
    std::size_t total = 0;
    for (const auto& [name, value] : parameters) total += value.size();
    return total;
}

}  // namespace

bool MakeRoute(const BindingFunctionDescription& function, Route& out, std::string* error) {
    Route route;
    route.function = &function;
    route.name = function.name;
    route.templateText = function.pathTemplate.empty() ? function.name : function.pathTemplate;
    route.method = function.method;
    route.customMethod = function.customMethod;
    route.literal = route.templateText.find('{') == std::string::npos;
    if (!route.literal && !CompilePathTemplate(route.templateText, route.pattern, error)) return false;
    out = std::move(route);
    return true;
}

std::string_view RoutedPath(std::string_view path) { return path.substr(0, path.find('?')); }

bool MatchRoutes(RouteMatch& match, std::span<const Route> routes) {
    // A query is no part of what a route matches: a placeholder would take
    // it in, and a literal route would never match a request that has one.
    const std::string_view path = RoutedPath(match.path);
    const Route* selected = nullptr;
    ParameterMap selectedParameters;
    std::size_t selectedLength = 0;
    std::vector<std::string_view> captures;
    for (const Route& route : routes) {
        ParameterMap parameters;
        if (route.literal) {
            if (path != route.templateText) continue;
        } else {
            if (!route.pattern.Match(path, captures)) continue;
            const auto& placeholders = route.pattern.Placeholders();
            for (std::size_t i = 0; i < placeholders.size(); ++i) {
                parameters.Set(placeholders[i].name, UrlDecode(captures[i]));
            }
        }
        if (!MethodAccepts(route, match)) continue;
        const std::size_t length = TotalLength(parameters);
        if (selected == nullptr || length < selectedLength) {
            selected = &route;
            selectedLength = length;
            selectedParameters = std::move(parameters);
        }
        if (selectedParameters.Empty()) break;
    }
    if (selected == nullptr) return false;
    match.route = selected;
    match.parameters = std::move(selectedParameters);
    return true;
}

}  // namespace Vorn

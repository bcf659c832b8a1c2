#include "dispatch/expose_function.h"

#include "support/message_format.h"

namespace Vorn {

namespace {

constexpr const char* kArgumentCount = "Function '%1' was not exposed. It takes %2 arguments but %3 are described.";

}  // namespace

bool DescribeSpec(FunctionSpec&& spec, std::size_t parameterCount, BindingFunctionDescription& out,
                  std::string* error) {
    if (spec.arguments.size() != parameterCount) {
        if (error != nullptr) *error = FormatMessage(kArgumentCount, {spec.name, parameterCount, spec.arguments.size()});
        return false;
    }
    out.name = std::move(spec.name);
    out.nameSpace = std::move(spec.nameSpace);
    out.pathTemplate = std::move(spec.pathTemplate);
    out.method = spec.method;
    out.customMethod = std::move(spec.customMethod);
    for (ArgumentSpec& argument : spec.arguments) {
        BindingArgumentDescription& described = out.arguments.emplace_back();
        described.name = std::move(argument.name);
        described.description = std::move(argument.description);
        described.optional = argument.optional;
        out.locations.push_back(argument.location);
    }
    out.description = std::move(spec.description);
    out.help = std::move(spec.help);
    out.threadSafe = spec.threadSafe;
    out.async = spec.async;
    out.tags = std::move(spec.tags);
    return true;
}

}  // namespace Vorn

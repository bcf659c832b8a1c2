#include "dispatch/function_table.h"

#include <algorithm>
#include <set>

#include "dispatch/host_call_records.h"
#include "support/message_format.h"

namespace Vorn {

namespace {

constexpr const char* kNotExposed = "Function '%1' was not exposed. %2";
constexpr const char* kNoName = "A function needs a name.";
constexpr const char* kTaken = "The name is taken.";
constexpr const char* kNoInvoker = "It has no invoker.";
constexpr const char* kLocationCount = "It has %1 arguments and %2 locations.";
constexpr const char* kUnnamedArgument = "An argument has no name.";
constexpr const char* kRepeatedArgument = "Two arguments are named '%1'.";
constexpr const char* kUnregisteredArgument = "The type of argument '%1' is not registered.";
constexpr const char* kUnregisteredResult = "The type of its result is not registered.";
constexpr const char* kMethodCode = "Its method code %1 is none of 0 to 8.";
constexpr const char* kCustomWithoutCode = "It has the custom method '%1' but method code %2; a custom method needs 8.";
constexpr const char* kQuestionMark = "Path template '%1' has a '?'; routes are matched on the path before it.";
constexpr const char* kUnknownPlaceholder = "Path template '%1' has the placeholder '%2', which names no argument.";

bool IsDescribedShape(BindingType type) { return type == BindingType::Enum || type == BindingType::Struct; }

// An enum or structure, or a container of them, converts only through its
// registered description.
bool LacksDescription(const TypeRef& ref) {
    const bool described = IsDescribedShape(ref.type) ||
                           ((ref.type == BindingType::Vector || ref.type == BindingType::Map) &&
                            IsDescribedShape(ref.elementType));
    return described && ref.described == nullptr;
}

std::string Check(const BindingFunctionDescription& function) {
    if (function.name.empty()) return kNoName;
    if (function.invoker == nullptr) return kNoInvoker;
    if (function.locations.size() != function.arguments.size()) {
        return FormatMessage(kLocationCount, {function.arguments.size(), function.locations.size()});
    }
    std::set<std::string_view> names;
    for (const BindingArgumentDescription& argument : function.arguments) {
        if (argument.name.empty()) return kUnnamedArgument;
        if (!names.insert(argument.name).second) return FormatMessage(kRepeatedArgument, {argument.name});
        if (LacksDescription(argument.type) || LacksDescription(argument.shownType)) {
            return FormatMessage(kUnregisteredArgument, {argument.name});
        }
    }
    if (LacksDescription(function.result) || LacksDescription(function.shownResult)) return kUnregisteredResult;
    // What no call could ever reach is refused now rather than never matched.
    if (function.method > kHostMethodCustom) return FormatMessage(kMethodCode, {function.method});
    if (!function.customMethod.empty() && function.method != kHostMethodCustom) {
        return FormatMessage(kCustomWithoutCode, {function.customMethod, function.method});
    }
    const std::string& templateText = function.pathTemplate.empty() ? function.name : function.pathTemplate;
    if (templateText.find('?') != std::string::npos) return FormatMessage(kQuestionMark, {templateText});
    return {};
}

std::string CheckPlaceholders(const BindingFunctionDescription& function, const Route& route) {
    for (const PathPlaceholder& placeholder : route.pattern.Placeholders()) {
        const bool named = std::any_of(function.arguments.begin(), function.arguments.end(),
                                       [&](const BindingArgumentDescription& a) { return a.name == placeholder.name; });
        if (!named) return FormatMessage(kUnknownPlaceholder, {route.templateText, placeholder.name});
    }
    return {};
}

}  // namespace

bool FunctionTable::Add(BindingFunctionDescription description, std::string* error) {
    const std::string name = description.name;
    auto fail = [&](const std::string& reason) {
        if (error != nullptr) *error = FormatMessage(kNotExposed, {name, reason});
        return false;
    };
    if (std::string reason = Check(description); !reason.empty()) return fail(reason);
    auto function = std::make_shared<ExposedFunction>();
    function->description = std::move(description);
    if (std::string reason; !MakeRoute(function->description, function->route, &reason)) return fail(reason);
    if (std::string reason = CheckPlaceholders(function->description, function->route); !reason.empty()) {
        return fail(reason);
    }
    std::lock_guard<std::mutex> guard(mutex_);
    if (!functions_.emplace(name, std::move(function)).second) return fail(kTaken);
    return true;
}

std::shared_ptr<const ExposedFunction> FunctionTable::Find(std::string_view name) const {
    std::lock_guard<std::mutex> guard(mutex_);
    auto found = functions_.find(name);
    return found == functions_.end() ? nullptr : found->second;
}

std::vector<std::shared_ptr<const ExposedFunction>> FunctionTable::Functions() const {
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<std::shared_ptr<const ExposedFunction>> list;
    list.reserve(functions_.size());
    for (const auto& [name, function] : functions_) list.push_back(function);
    return list;
}

std::size_t FunctionTable::Size() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return functions_.size();
}

void FunctionTable::Clear() {
    // Destroyed outside the lock: a function's invoker may own anything.
    std::map<std::string, std::shared_ptr<const ExposedFunction>, std::less<>> dropped;
    std::lock_guard<std::mutex> guard(mutex_);
    dropped.swap(functions_);
}

}  // namespace Vorn

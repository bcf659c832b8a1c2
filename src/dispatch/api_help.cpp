#include "dispatch/api_help.h"

#include <algorithm>

namespace Vorn {

namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr const char* kBlockEnd = "\r\n\r\n";

void AppendTags(std::string& text, const std::vector<std::string>& tags) {
    if (tags.empty()) return;
    text += "@tags: ";
    for (std::size_t i = 0; i < tags.size(); ++i) {
        if (i != 0) text += ',';
        text += tags[i];
    }
    text += kLineEnd;
}

// A paragraph of its own, escaped; nothing when the text is empty.
void AppendBlock(std::string& text, const std::string& block) {
    if (block.empty()) return;
    text += EscapeEpytext(block);
    text += kBlockEnd;
}

TypeRef PayloadType(const BindingTypeDescription* payload) {
    if (payload == nullptr) return {};
    return TypeRef{payload->isEnum ? BindingType::Enum : BindingType::Struct, BindingType::None, payload};
}

template <typename Item>
void SortByName(std::vector<const Item*>& items) {
    std::stable_sort(items.begin(), items.end(), [](const Item* a, const Item* b) { return a->name < b->name; });
}

// Full: the record converted through the registry into a new element, which
// stays empty when that fails.
template <typename Record>
void AppendFull(BindingProperty& list, const Record& record, const TypeRegistry& registry) {
    BindingProperty& element = list.AppendElement();
    BindingResult converted;
    NativeToValue(converted, record, &registry);
    if (converted.ok) element = std::move(converted.value);
}

template <typename Item, typename Record, typename Text>
void Describe(BindingProperty& member, const std::vector<const Item*>& items, BindingHelpFormat format,
              const TypeRegistry& registry, Record (*full)(const Item&), Text (*epytext)(const Item&)) {
    switch (format) {
        case BindingHelpFormat::Full:
            member.MakeCollection();
            for (const Item* item : items) AppendFull(member, full(*item), registry);
            break;
        case BindingHelpFormat::Epytext:
            member.MakeStructure();
            for (const Item* item : items) member.Member(item->name).SetString(epytext(*item));
            break;
    }
}

}  // namespace

std::string EscapeEpytext(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '-' && i == 0) {
            escaped += "E{-}";
        } else if (c == '{') {
            escaped += "E{lb}";
        } else if (c == '}') {
            escaped += "E{rb}";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string TypeEpytext(const BindingTypeDescription& type) {
    std::string text;
    AppendBlock(text, type.description);
    if (!type.isEnum) {
        for (const BindingFieldDescription& member : type.members) {
            text += "@ivar " + member.name + ": " + member.description + kLineEnd;
            text += "@type " + member.name + ": " + HelpTypeName(member.typeRef) + kLineEnd;
        }
        AppendTags(text, type.tags);
        return text;
    }
    // By number; enumerators of one number stay in name order.
    std::vector<const BindingEnumeratorDescription*> enumerators;
    for (const auto& [name, enumerator] : type.enumerators) enumerators.push_back(&enumerator);
    std::stable_sort(enumerators.begin(), enumerators.end(),
                     [](const auto* a, const auto* b) { return a->number < b->number; });
    for (const BindingEnumeratorDescription* enumerator : enumerators) {
        text += "@cvar " + enumerator->name + ": (" + std::to_string(enumerator->number) + ")";
        if (!enumerator->description.empty()) text += " " + enumerator->description;
        text += kLineEnd;
    }
    AppendTags(text, type.tags);
    text += "@size: " + std::to_string(type.size) + kLineEnd;
    return text;
}

std::string EventEpytext(const BindingEventDescription& event) {
    std::string text = EscapeEpytext(event.description) + kBlockEnd;
    AppendTags(text, event.tags);
    return text;
}

std::string FunctionEpytext(const BindingFunctionDescription& function) {
    std::string text;
    AppendBlock(text, function.description);
    AppendBlock(text, function.help);
    for (const BindingArgumentDescription& argument : function.arguments) {
        if (!argument.description.empty()) {
            text += "@param " + argument.name + ": " + (argument.optional ? "(optional) " : "") +
                    EscapeEpytext(argument.description) + kLineEnd;
        }
        text += "@type " + argument.name + ": " + HelpTypeName(argument.DescribedType()) + kLineEnd;
    }
    const TypeRef& result = function.DescribedResult();
    if (result.type != BindingType::None) text += "@rtype: " + HelpTypeName(result) + kLineEnd;
    AppendTags(text, function.tags);
    if (function.threadSafe) text += std::string("@threadsafe: true") + kLineEnd;
    if (function.async) text += "@async: " + HelpTypeName(result) + kLineEnd;
    return text;
}

BindingFullTypeHelp TypeHelp(const BindingTypeDescription& type) {
    BindingFullTypeHelp help;
    help.name = type.name;
    help.nameSpace = type.nameSpace;
    help.size = type.size;
    help.description = type.description;
    help.tags = type.tags;
    if (type.isEnum) {
        for (const auto& [name, enumerator] : type.enumerators) {
            help.values.push_back({enumerator.name, enumerator.description, enumerator.number});
        }
    } else {
        for (const BindingFieldDescription& member : type.members) {
            help.fields.push_back(
                {member.name, member.description, member.offset, NativeTypeName(member.typeRef), member.optional});
        }
    }
    return help;
}

BindingFullEventHelp EventHelp(const BindingEventDescription& event) {
    return {event.name, event.nameSpace, NativeTypeName(PayloadType(event.payload)), event.description, event.tags};
}

BindingFullFunctionHelp FunctionHelp(const BindingFunctionDescription& function) {
    BindingFullFunctionHelp help;
    help.name = function.name;
    help.nameSpace = function.nameSpace;
    for (const BindingArgumentDescription& argument : function.arguments) {
        help.arguments.push_back(
            {argument.name, argument.description, NativeTypeName(argument.DescribedType()), argument.optional});
    }
    help.returns = NativeTypeName(function.DescribedResult());
    help.description = function.description;
    help.help = function.help;
    help.threadSafe = function.threadSafe;
    help.async = function.AsyncTypeName();
    help.tags = function.tags;
    return help;
}

BindingProperty Help(const TypeRegistry& registry, std::vector<const BindingFunctionDescription*> functions,
                     std::vector<const BindingTypeDescription*> types,
                     std::vector<const BindingEventDescription*> events, BindingHelpFormat format) {
    SortByName(functions);
    SortByName(types);
    SortByName(events);
    BindingProperty help;
    Describe(help.Member("functions"), functions, format, registry, &FunctionHelp, &FunctionEpytext);
    Describe(help.Member("types"), types, format, registry, &TypeHelp, &TypeEpytext);
    Describe(help.Member("events"), events, format, registry, &EventHelp, &EventEpytext);
    return help;
}

BindingProperty ApiHelp(const TypeRegistry& registry, const FunctionTable& functions, BindingHelpFormat format) {
    // Held for the duration: the table may be cleared meanwhile.
    const std::vector<std::shared_ptr<const ExposedFunction>> exposed = functions.Functions();
    std::vector<const BindingFunctionDescription*> descriptions;
    for (const auto& function : exposed) descriptions.push_back(&function->description);
    return Help(registry, std::move(descriptions), registry.Types(), registry.Events(), format);
}

}  // namespace Vorn

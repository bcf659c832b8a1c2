#include "dispatch/api_table.h"

#include "dispatch/method_name.h"

namespace Vorn {

namespace {

uint32_t TypeCode(BindingType type) {
    const auto code = static_cast<uint32_t>(type);
    return code >= 1 && code <= 19 ? code : 0;
}

uint32_t LocationCode(ArgumentLocation location) {
    const auto code = static_cast<uint32_t>(location);
    return code >= 1 && code <= 5 ? code : 0;
}

// Vectors, enums, structures and maps name the type they describe.
const char* DescribedTypeName(const TypeRef& ref) {
    switch (ref.type) {
        case BindingType::Vector:
        case BindingType::Enum:
        case BindingType::Struct:
        case BindingType::Map: return ref.described != nullptr ? ref.described->name.c_str() : "";
        default: return "";
    }
}

// Links each record of an array to the next one.
template <typename Entry>
void Link(std::vector<Entry>& entries) {
    for (std::size_t i = 0; i + 1 < entries.size(); ++i) entries[i].next = &entries[i + 1];
}

template <typename Entry>
const Entry* FirstOrNull(const std::vector<Entry>& entries) {
    return entries.empty() ? nullptr : entries.data();
}

const char* const* Tags(std::vector<std::vector<const char*>>& lists, const std::vector<std::string>& tags) {
    if (tags.empty()) return nullptr;
    std::vector<const char*>& list = lists.emplace_back();
    for (const std::string& tag : tags) list.push_back(tag.c_str());
    return list.data();
}

}  // namespace

std::unique_ptr<ApiTableStorage> BuildApiTable(const TypeRegistry& registry, const FunctionTable* functions) {
    auto storage = std::make_unique<ApiTableStorage>();
    // A copy: the table may change while the entries are built.
    const std::vector<std::shared_ptr<const ExposedFunction>> exposed =
        functions != nullptr ? functions->Functions() : std::vector<std::shared_ptr<const ExposedFunction>>{};
    const std::vector<const BindingTypeDescription*> types = registry.Types();
    const std::vector<const BindingEventDescription*> events = registry.Events();
    // Records point into the inner arrays, whose buffers an outer array's
    // growth moves without copying; reserving spares those moves.
    storage->members_.reserve(types.size());
    storage->enumerators_.reserve(types.size());
    storage->tagLists_.reserve(types.size() + events.size() + exposed.size());
    storage->types_.reserve(types.size());
    storage->events_.reserve(events.size());
    storage->functions_.reserve(exposed.size());
    storage->arguments_.reserve(exposed.size());
    storage->locations_.reserve(exposed.size());

    for (const std::shared_ptr<const ExposedFunction>& function : exposed) {
        const BindingFunctionDescription& description = function->description;
        ApiFunctionEntry entry{};
        auto context = std::make_unique<FunctionCallContext>(FunctionCallContext{&registry, function});
        entry.context = context.get();
        storage->contexts_[description.name] = std::move(context);
        entry.name = description.name.c_str();
        entry.nameSpace = description.nameSpace.c_str();
        std::vector<ApiArgumentEntry>& arguments = storage->arguments_.emplace_back();
        std::vector<ApiArgumentLocation>& locations = storage->locations_.emplace_back();
        for (std::size_t i = 0; i < description.arguments.size(); ++i) {
            const BindingArgumentDescription& argument = description.arguments[i];
            const TypeRef& type = argument.DescribedType();
            ApiArgumentEntry record{};
            record.name = argument.name.c_str();
            record.description = argument.description.c_str();
            record.type = TypeCode(type.type);
            record.elementType = TypeCode(type.elementType);
            record.describedType = DescribedTypeName(type);
            record.optional = argument.optional ? 1 : 0;
            arguments.push_back(record);
            ApiArgumentLocation location{};
            location.location = LocationCode(description.locations[i]);
            locations.push_back(location);
        }
        Link(arguments);
        Link(locations);
        entry.arguments = FirstOrNull(arguments);
        entry.argumentCount = static_cast<uint32_t>(arguments.size());
        const TypeRef& result = description.DescribedResult();
        entry.resultType = TypeCode(result.type);
        entry.resultElementType = TypeCode(result.elementType);
        entry.resultDescribedType = DescribedTypeName(result);
        entry.description = description.description.c_str();
        entry.help = description.help.c_str();
        entry.threadSafe = description.threadSafe ? 1 : 0;
        entry.async = description.AsyncTypeName().c_str();
        entry.tags = Tags(storage->tagLists_, description.tags);
        entry.tagCount = static_cast<uint32_t>(description.tags.size());
        entry.call = &CallExposedFunction;
        entry.locations = FirstOrNull(locations);
        entry.pathTemplate = description.pathTemplate.c_str();
        entry.method = NormalizeMethodCode(description.method);
        entry.customMethod = description.customMethod.c_str();
        // The flag byte and the text lists stay 0: no function of this
        // runtime has either.
        storage->functions_.push_back(entry);
    }
    Link(storage->functions_);

    for (const BindingTypeDescription* type : types) {
        ApiTypeEntry entry{};
        entry.name = type->name.c_str();
        entry.nameSpace = type->nameSpace.c_str();
        entry.size = type->size;
        entry.description = type->description.c_str();
        entry.tags = Tags(storage->tagLists_, type->tags);
        entry.tagCount = static_cast<uint32_t>(type->tags.size());
        if (!type->members.empty()) {
            std::vector<ApiMemberEntry>& members = storage->members_.emplace_back();
            for (const BindingFieldDescription& field : type->members) {
                ApiMemberEntry member{};
                member.name = field.name.c_str();
                member.description = field.description.c_str();
                member.offset = field.offset;
                member.type = TypeCode(field.typeRef.type);
                member.elementType = TypeCode(field.typeRef.elementType);
                member.describedType = DescribedTypeName(field.typeRef);
                member.optional = field.optional ? 1 : 0;
                members.push_back(member);
            }
            Link(members);
            entry.members = members.data();
            entry.count = static_cast<uint32_t>(members.size());
        } else {
            std::vector<ApiEnumeratorEntry>& enumerators = storage->enumerators_.emplace_back();
            for (const auto& [name, enumerator] : type->enumerators) {
                ApiEnumeratorEntry record{};
                record.name = enumerator.name.c_str();
                record.description = enumerator.description.c_str();
                record.value = enumerator.number;
                enumerators.push_back(record);
            }
            Link(enumerators);
            entry.enumerators = FirstOrNull(enumerators);
            entry.count = static_cast<uint32_t>(enumerators.size());
        }
        storage->types_.push_back(entry);
    }
    Link(storage->types_);

    for (const BindingEventDescription* event : events) {
        ApiEventEntry entry{};
        entry.name = event->name.c_str();
        entry.nameSpace = event->nameSpace.c_str();
        entry.payloadType = event->payload != nullptr ? event->payload->name.c_str() : "";
        entry.description = event->description.c_str();
        entry.tags = Tags(storage->tagLists_, event->tags);
        entry.tagCount = static_cast<uint32_t>(event->tags.size());
        storage->events_.push_back(entry);
    }
    Link(storage->events_);

    ApiTable& table = storage->table_;
    table.functions = FirstOrNull(storage->functions_);
    table.functionCount = static_cast<uint32_t>(storage->functions_.size());
    table.types = FirstOrNull(storage->types_);
    table.typeCount = static_cast<uint32_t>(storage->types_.size());
    table.events = FirstOrNull(storage->events_);
    table.eventCount = static_cast<uint32_t>(storage->events_.size());
    return storage;
}

}  // namespace Vorn

#include "binding/type_registry.h"

#include <algorithm>
#include <string_view>

#include "binding/builtin_types.h"
#include "binding/help_types.h"

namespace Vorn {

namespace {

uint32_t IdentifierHash(uint32_t identifier) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(identifier), static_cast<unsigned char>(identifier >> 8),
                                    static_cast<unsigned char>(identifier >> 16),
                                    static_cast<unsigned char>(identifier >> 24)};
    return Fnv1aBytes(bytes, sizeof(bytes));
}

}  // namespace

bool BindingTypeDescription::HasEnumerator(int32_t number) const { return EnumeratorWithNumber(number) != nullptr; }

const BindingEnumeratorDescription* BindingTypeDescription::EnumeratorWithNumber(int32_t number) const {
    for (const auto& [name, enumerator] : enumerators) {
        if (enumerator.number == number) return &enumerator;
    }
    return nullptr;
}

TypeBuilder& TypeBuilder::AddMember(std::string_view name, uint32_t offset, const TypeRef& typeRef,
                                    const TypeIdentifier* typeIdentifier, const MemberConversion* conversion,
                                    std::string_view description, uint32_t flags, bool optional) {
    if (description_ == nullptr) return *this;
    BindingFieldDescription field;
    field.name = std::string(name);
    field.nameHash = Fnv1a(name);
    field.description = std::string(description);
    field.typeIdentifier = typeIdentifier;
    field.offset = offset;
    field.typeRef = typeRef;
    field.flags = flags;
    field.conversion = conversion;
    field.owner = description_;
    field.optional = optional;
    std::vector<BindingFieldDescription>& fields = description_->members;
    std::vector<uint32_t>& byName = description_->membersByName;
    const std::string_view key = FieldLookupName(field.name);
    field.lookupLength = static_cast<uint32_t>(key.size());
    auto place = std::upper_bound(byName.begin(), byName.end(), key,
                                  [&fields](std::string_view k, uint32_t i) { return k < FieldLookupName(fields[i].name); });
    if (place != byName.begin() && FieldLookupName(fields[*(place - 1)].name) == key) {
        description_->lookupNamesRepeat = true;
    }
    byName.insert(place, static_cast<uint32_t>(fields.size()));
    fields.push_back(std::move(field));
    return *this;
}

TypeBuilder& TypeBuilder::AddEnumerator(std::string_view name, int32_t number, std::string_view description) {
    if (description_ == nullptr) return *this;
    BindingEnumeratorDescription& enumerator = description_->enumerators[std::string(name)];
    enumerator.number = number;
    enumerator.name = std::string(name);
    enumerator.description = std::string(description);
    return *this;
}

TypeBuilder& TypeBuilder::SetDescription(std::string_view text) {
    if (description_ != nullptr) description_->description = std::string(text);
    return *this;
}

TypeBuilder& TypeBuilder::SetNameSpace(std::string_view text) {
    if (description_ != nullptr) description_->nameSpace = std::string(text);
    return *this;
}

TypeBuilder& TypeBuilder::AddTag(std::string_view tag) {
    if (description_ != nullptr && !tag.empty()) description_->tags.emplace_back(tag);
    return *this;
}

TypeRegistry::TypeRegistry() : byIdentifier_(16) {}

TypeRegistry::~TypeRegistry() { Clear(); }

void TypeRegistry::SetUp() {
    Clear();
    RegisterHelpTypes(*this);
    RegisterBuiltInEvents(*this);
    std::lock_guard<std::mutex> guard(mutex_);
    filled_ = true;
}

bool TypeRegistry::IsFilled() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return filled_;
}

void TypeRegistry::SetClearHook(std::function<void()> hook) {
    std::lock_guard<std::mutex> guard(mutex_);
    clearHook_ = std::move(hook);
}

void TypeRegistry::Clear() {
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!filled_) return;
        filled_ = false;
        while (!events_.empty()) events_.erase(events_.begin());
        byName_.clear();
        for (auto& bucket : byIdentifier_) bucket.clear();
        identifierCount_ = 0;
        types_.clear();
        hook = clearHook_;
    }
    if (hook) hook();
}

TypeBuilder TypeRegistry::BeginType(std::string_view name, uint32_t size, const TypeIdentifier* identifier,
                                    bool isEnum) {
    std::lock_guard<std::mutex> guard(mutex_);
    std::string key(name);
    if (byName_.count(key) != 0) return TypeBuilder(nullptr);
    auto description = std::make_unique<BindingTypeDescription>();
    description->size = size;
    description->isEnum = isEnum;
    description->name = key;
    description->identifier = identifier != nullptr ? identifier->value : 0;
    description->identifierStatic = identifier;
    description->owner = this;
    BindingTypeDescription* raw = description.get();
    types_.push_back(std::move(description));
    byName_.emplace(std::move(key), raw);
    if (raw->identifier != kReservedTypeIdentifier) IndexIdentifierLocked(raw);
    return TypeBuilder(raw);
}

void TypeRegistry::IndexIdentifierLocked(BindingTypeDescription* description) {
    // The first description under an identifier keeps it.
    if (FindByIdentifierLocked(description->identifier) != nullptr) return;
    if (identifierCount_ + 1 > byIdentifier_.size()) {
        std::vector<std::vector<BindingTypeDescription*>> grown(byIdentifier_.size() * 2);
        for (auto& bucket : byIdentifier_) {
            for (BindingTypeDescription* entry : bucket) {
                grown[IdentifierHash(entry->identifier) & (grown.size() - 1)].push_back(entry);
            }
        }
        byIdentifier_.swap(grown);
    }
    byIdentifier_[IdentifierHash(description->identifier) & (byIdentifier_.size() - 1)].push_back(description);
    ++identifierCount_;
}

const BindingTypeDescription* TypeRegistry::FindByIdentifierLocked(uint32_t identifier) const {
    for (BindingTypeDescription* entry : byIdentifier_[IdentifierHash(identifier) & (byIdentifier_.size() - 1)]) {
        if (entry->identifier == identifier) return entry;
    }
    return nullptr;
}

const BindingTypeDescription* TypeRegistry::FindByName(std::string_view name) const {
    std::lock_guard<std::mutex> guard(mutex_);
    auto found = byName_.find(std::string(name));
    return found == byName_.end() ? nullptr : found->second;
}

const BindingTypeDescription* TypeRegistry::FindByIdentifier(const TypeIdentifier* identifier) const {
    return identifier != nullptr ? FindByIdentifier(identifier->value) : nullptr;
}

const BindingTypeDescription* TypeRegistry::FindByIdentifier(uint32_t identifier) const {
    std::lock_guard<std::mutex> guard(mutex_);
    return FindByIdentifierLocked(identifier);
}

std::optional<std::string> TypeRegistry::EnumeratorName(const TypeIdentifier* type, int32_t number) const {
    const BindingTypeDescription* description = FindByIdentifier(type);
    if (description == nullptr) return std::nullopt;
    const BindingEnumeratorDescription* enumerator = description->EnumeratorWithNumber(number);
    if (enumerator == nullptr) return std::nullopt;
    return enumerator->name;
}

void TypeRegistry::RegisterEvent(std::string_view name, const BindingTypeDescription* payload,
                                 std::string_view description, std::initializer_list<std::string_view> tags,
                                 std::string_view nameSpace) {
    std::lock_guard<std::mutex> guard(mutex_);
    auto [entry, created] = events_.try_emplace(std::string(name));
    if (!created) return;
    entry->second.name = std::string(name);
    entry->second.nameSpace = std::string(nameSpace);
    entry->second.payload = payload;
    entry->second.description = std::string(description);
    for (std::string_view tag : tags) {
        if (!tag.empty()) entry->second.tags.emplace_back(tag);
    }
}

const BindingEventDescription* TypeRegistry::FindEvent(std::string_view name) const {
    std::lock_guard<std::mutex> guard(mutex_);
    auto found = events_.find(std::string(name));
    return found == events_.end() ? nullptr : &found->second;
}

std::vector<const BindingTypeDescription*> TypeRegistry::Types() const {
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<const BindingTypeDescription*> list;
    for (const auto& type : types_) list.push_back(type.get());
    return list;
}

std::vector<const BindingEventDescription*> TypeRegistry::Events() const {
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<const BindingEventDescription*> list;
    for (const auto& [name, event] : events_) list.push_back(&event);
    return list;
}

}  // namespace Vorn

#pragma once
// The registry of native structures and enumerations: each is described once,
// at start-up, under its name and its 32-bit type identifier, and conversion
// and help walk these descriptions.
//
// Registration is idempotent by name: the first registration of a name wins
// and later ones are ignored whole (their builder is inert). A structure's
// member of enum or structure type is tied to that type's description when the
// member is added, so a type must be registered before a structure using it.
//
// One mutex guards the indexes. A description is filled through its builder
// by the registering thread before anyone looks it up, and never changes
// afterwards.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "binding/binding_type.h"
#include "binding/flat_records.h"
#include "binding/type_identifier.h"

namespace Vorn {

class BindingProperty;
class TypeRegistry;
struct BindingResult;

// How one native type converts in both directions. `described` is the
// description of the enum or structure involved (the element's for vectors
// and maps), null for other shapes.
struct MemberConversion {
    void (*toValue)(BindingResult& result, BindingProperty& target, const void* native,
                    const BindingTypeDescription* described);
    // The registry names enumerators for string targets.
    void (*fromValue)(BindingResult& result, void* native, const BindingProperty& input, std::string_view path,
                      const BindingTypeDescription* described, const TypeRegistry* registry);
    // A host's flat value straight into the native member, `depth` levels
    // down in the host's record (flat_to_native.h): true when the member now
    // holds what the value made of it would give, false when it cannot say.
    bool (*fromFlat)(void* native, const BindingFlatValue& input, std::size_t depth,
                     const BindingTypeDescription* described, const TypeRegistry* registry);
    // The native member straight into a host's flat value (native_to_flat.h):
    // true when `out` holds what the member's value would give, with `zero`
    // set when that value is a zero one; false when it cannot say.
    bool (*toFlat)(const void* native, const BindingTypeDescription* described, const TypeRegistry* registry,
                   BindingFlatValue* out, std::size_t depth, bool* zero);
};

// Member flags.
inline constexpr uint32_t kFieldOmitZero = 1;   // leave out of a value when it holds its zero value
inline constexpr uint32_t kFieldRequired = 2;   // must be present on input

struct BindingFieldDescription {
    std::string name;
    uint32_t nameHash = 0;      // FNV-1a of name
    uint32_t lookupLength = 0;  // of the name up to its first NUL
    std::string description;
    const TypeIdentifier* typeIdentifier = nullptr;
    uint32_t offset = 0;
    TypeRef typeRef;
    uint32_t flags = 0;
    const MemberConversion* conversion = nullptr;
    const BindingTypeDescription* owner = nullptr;
    bool optional = false;
};

struct BindingEnumeratorDescription {
    int32_t number = 0;
    std::string name;
    std::string description;
};

// The name a structure's member is looked up by: up to its first NUL.
inline std::string_view FieldLookupName(std::string_view name) { return name.substr(0, name.find('\0')); }

struct BindingTypeDescription {
    uint32_t size = 0;
    bool isEnum = false;
    bool lookupNamesRepeat = false;  // two members share a name up to a NUL
    std::string name;
    uint32_t identifier = 0;
    const TypeIdentifier* identifierStatic = nullptr;
    std::string nameSpace;
    std::string description;
    std::vector<std::string> tags;
    std::vector<BindingFieldDescription> members;                          // registration order
    // Indices into members in byte order of the names (up to a NUL), as a
    // structure keeps its members: a record is read in one pass over both.
    std::vector<uint32_t> membersByName;
    std::map<std::string, BindingEnumeratorDescription, std::less<>> enumerators;  // name order
    const TypeRegistry* owner = nullptr;

    bool HasEnumerator(int32_t number) const;
    // The first enumerator in name order with this number.
    const BindingEnumeratorDescription* EnumeratorWithNumber(int32_t number) const;
};

struct BindingEventDescription {
    std::string name;
    std::string nameSpace;
    const BindingTypeDescription* payload = nullptr;
    std::string description;
    std::vector<std::string> tags;
};

// Fills one new description; inert (every step skipped) when the name was
// registered before.
class TypeBuilder {
public:
    bool IsInert() const { return description_ == nullptr; }
    const BindingTypeDescription* Description() const { return description_; }

    TypeBuilder& AddMember(std::string_view name, uint32_t offset, const TypeRef& typeRef,
                           const TypeIdentifier* typeIdentifier, const MemberConversion* conversion,
                           std::string_view description = {}, uint32_t flags = 0, bool optional = false);
    // A name that exists already has its number and description replaced.
    TypeBuilder& AddEnumerator(std::string_view name, int32_t number, std::string_view description = {});
    TypeBuilder& SetDescription(std::string_view text);
    TypeBuilder& SetNameSpace(std::string_view text);
    TypeBuilder& AddTag(std::string_view tag);  // an empty tag adds nothing

private:
    friend class TypeRegistry;
    explicit TypeBuilder(BindingTypeDescription* description) : description_(description) {}
    BindingTypeDescription* description_;
};

class TypeRegistry {
public:
    TypeRegistry();
    ~TypeRegistry();
    TypeRegistry(const TypeRegistry&) = delete;
    TypeRegistry& operator=(const TypeRegistry&) = delete;

    // Registers the help types and the built-in types and events, then marks
    // the registry filled.
    void SetUp();
    bool IsFilled() const;
    // Removes every event and type once, if the registry was filled; also
    // runs the clear hook (the function table of exposed functions).
    void Clear();
    void SetClearHook(std::function<void()> hook);

    TypeBuilder BeginType(std::string_view name, uint32_t size, const TypeIdentifier* identifier, bool isEnum);

    const BindingTypeDescription* FindByName(std::string_view name) const;
    const BindingTypeDescription* FindByIdentifier(const TypeIdentifier* identifier) const;
    const BindingTypeDescription* FindByIdentifier(uint32_t identifier) const;
    // The first enumerator name (in name order) of that type with that number.
    std::optional<std::string> EnumeratorName(const TypeIdentifier* type, int32_t number) const;

    // An event name that exists is left unchanged.
    void RegisterEvent(std::string_view name, const BindingTypeDescription* payload, std::string_view description,
                       std::initializer_list<std::string_view> tags = {}, std::string_view nameSpace = {});
    const BindingEventDescription* FindEvent(std::string_view name) const;

    // In registration order / in name order.
    std::vector<const BindingTypeDescription*> Types() const;
    std::vector<const BindingEventDescription*> Events() const;

private:
    const BindingTypeDescription* FindByIdentifierLocked(uint32_t identifier) const;
    void IndexIdentifierLocked(BindingTypeDescription* description);

    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<BindingTypeDescription>> types_;  // registration order
    std::unordered_map<std::string, BindingTypeDescription*> byName_;
    // Identifier index: FNV-1a over the identifier's four bytes, masked.
    std::vector<std::vector<BindingTypeDescription*>> byIdentifier_;
    std::size_t identifierCount_ = 0;
    std::map<std::string, BindingEventDescription> events_;
    std::function<void()> clearHook_;
    bool filled_ = false;
};

}  // namespace Vorn

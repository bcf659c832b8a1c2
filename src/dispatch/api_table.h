#pragma once
// The API description table handed to the host at load, built from a type
// registry and the exposed functions: types with their members or
// enumerators, events, and function entries. The storage owns every record;
// texts point into the registry's descriptions, which never change while the
// registry lives, so the registry must outlive the storage. The functions it
// describes stay alive with it, as do their context records.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "binding/type_registry.h"
#include "dispatch/api_table_records.h"
#include "dispatch/function_call.h"
#include "dispatch/function_table.h"

namespace Vorn {

class ApiTableStorage {
public:
    const ApiTable* Table() const { return &table_; }

private:
    friend std::unique_ptr<ApiTableStorage> BuildApiTable(const TypeRegistry& registry,
                                                          const FunctionTable* functions);

    ApiTable table_{};
    std::vector<ApiTypeEntry> types_;
    std::vector<ApiEventEntry> events_;
    std::vector<ApiFunctionEntry> functions_;
    // One array per type (members or enumerators) and per tag list; inner
    // vectors never move once the table is built.
    std::vector<std::vector<ApiMemberEntry>> members_;
    std::vector<std::vector<ApiEnumeratorEntry>> enumerators_;
    std::vector<std::vector<const char*>> tagLists_;
    std::vector<std::vector<ApiArgumentEntry>> arguments_;
    std::vector<std::vector<ApiArgumentLocation>> locations_;
    // Handed to the host in each function entry and back with each call.
    std::map<std::string, std::unique_ptr<FunctionCallContext>> contexts_;
};

// Functions in name order, each with its arguments and their locations, its
// context record and the call entry CallExposedFunction; types in
// registration order, events in name order; members in registration order,
// enumerators in name order. Without functions (null), the function array is
// empty.
std::unique_ptr<ApiTableStorage> BuildApiTable(const TypeRegistry& registry, const FunctionTable* functions = nullptr);

}  // namespace Vorn

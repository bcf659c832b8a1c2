#pragma once
// The API description table handed to the host at load, built from a type
// registry: types with their members or enumerators, events, and (when
// functions are exposed) function entries. The storage owns every record;
// texts point into the registry's descriptions, which never change while the
// registry lives, so the registry must outlive the storage.
#include <memory>
#include <string>
#include <vector>

#include "binding/type_registry.h"
#include "dispatch/api_table_records.h"

namespace Vorn {

class ApiTableStorage {
public:
    const ApiTable* Table() const { return &table_; }

private:
    friend std::unique_ptr<ApiTableStorage> BuildApiTable(const TypeRegistry& registry);

    ApiTable table_{};
    std::vector<ApiTypeEntry> types_;
    std::vector<ApiEventEntry> events_;
    std::vector<ApiFunctionEntry> functions_;
    // One array per type (members or enumerators) and per tag list; inner
    // vectors never move once the table is built.
    std::vector<std::vector<ApiMemberEntry>> members_;
    std::vector<std::vector<ApiEnumeratorEntry>> enumerators_;
    std::vector<std::vector<const char*>> tagLists_;
};

// Types in registration order, events in name order; members in registration
// order, enumerators in name order.
std::unique_ptr<ApiTableStorage> BuildApiTable(const TypeRegistry& registry);

}  // namespace Vorn

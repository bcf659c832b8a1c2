/* Compiled as C11: every header that crosses the host boundary must be
 * usable by a host written in C, exactly as it is. The record size checks run
 * here as well, so the 32-bit build proves the layout in C too. */
#include "binding/flat_records.h"
#include "dispatch/api_table_records.h"
#include "dispatch/host_call_records.h"
#include "plugin/host_records.h"

int vorn_boundary_headers_compile_as_c(void) {
    BindingFlatValue value = {0};
    BindingFlatResult result = {0};
    value.kind = kFlatEmpty;
    result.value = value;
    PluginHostRecord record = {0};
    HostResponse response = {0};
    record.major = 18;
    result.value = response.body;
    return (int)sizeof(BindingFlatMember) + result.failed + (int)record.major + (int)sizeof(ApiTable) +
           (int)sizeof(HostApi);
}

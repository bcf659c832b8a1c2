#pragma once
// Method codes and their names, shared by requests to the host and calls of
// exposed functions.
#include <cstdint>

namespace Vorn {

// "DELETE" .. "PUT" for codes 1 to 7; "" for any other code (0 any, 8 custom).
const char* MethodName(uint32_t code);

// Codes 1 to 8 pass unchanged; any other code is taken as 0.
uint32_t NormalizeMethodCode(uint32_t code);

}  // namespace Vorn

#include "dispatch/method_name.h"

#include <iterator>

#include "dispatch/host_call_records.h"

namespace Vorn {

namespace {

constexpr const char* kMethodNames[] = {"", "DELETE", "GET", "HEAD", "OPTIONS", "PATCH", "POST", "PUT"};
static_assert(std::size(kMethodNames) == kHostMethodCustom, "one name for each code below the custom one");

}  // namespace

const char* MethodName(uint32_t code) { return code < std::size(kMethodNames) ? kMethodNames[code] : ""; }

uint32_t NormalizeMethodCode(uint32_t code) { return code <= kHostMethodCustom ? code : uint32_t{kHostMethodAny}; }

}  // namespace Vorn

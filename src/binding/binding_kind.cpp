#include "binding/binding_kind.h"

#include <cstddef>
#include <iterator>

namespace Vorn {

const char* BindingKindName(uint32_t code) {
    static constexpr const char* kNames[] = {"empty", "bool",  "signed", "unsigned",   "float",
                                             "string", "blob", "enum",   "collection", "structure"};
    static_assert(std::size(kNames) == static_cast<std::size_t>(BindingKind::Structure) + 1, "one name per kind");
    const uint32_t low = code & 0xFF;
    return low < std::size(kNames) ? kNames[low] : "";
}

}  // namespace Vorn

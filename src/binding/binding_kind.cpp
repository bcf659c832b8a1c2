#include "binding/binding_kind.h"

namespace Vorn {

const char* BindingKindName(uint32_t code) {
    static const char* const kNames[] = {"empty", "bool",  "signed", "unsigned",   "float",
                                         "string", "blob", "enum",   "collection", "structure"};
    const uint32_t low = code & 0xFF;
    return low < sizeof(kNames) / sizeof(kNames[0]) ? kNames[low] : "";
}

}  // namespace Vorn

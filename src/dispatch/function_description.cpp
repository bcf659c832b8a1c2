#include "dispatch/function_description.h"

#include "binding/type_registry.h"

namespace Vorn {

const std::string& BindingFunctionDescription::AsyncTypeName() const {
    static const std::string kNone;
    return async && result.described != nullptr ? result.described->name : kNone;
}

}  // namespace Vorn

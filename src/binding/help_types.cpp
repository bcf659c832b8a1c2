#include "binding/help_types.h"

namespace Vorn {

void RegisterHelpTypes(TypeRegistry& registry) {
    RegisterBindingType<BindingHelpFormat>(registry);
    RegisterBindingType<BindingFullTypeIdentifier>(registry);
    RegisterBindingType<BindingFullArgumentHelp>(registry);
    RegisterBindingType<BindingFullFunctionHelp>(registry);
    RegisterBindingType<BindingFullEnumValueHelp>(registry);
    RegisterBindingType<BindingFullFieldHelp>(registry);
    RegisterBindingType<BindingFullTypeHelp>(registry);
    RegisterBindingType<BindingFullEventHelp>(registry);
    RegisterBindingType<BindingFullApiHelp>(registry);
}

}  // namespace Vorn

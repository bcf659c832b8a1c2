#include "binding/binding_result.h"

#include <string>

namespace Vorn {

void BindingResult::Fail(std::string_view message) {
    if (ok) Replace(message);
}

void BindingResult::Replace(std::string_view message) {
    // The message may point into the value being reset.
    std::string text(message);
    value.Reset();
    ok = false;
    value.Member("error").SetString(text);
}

std::string_view BindingResult::Message() const {
    if (ok) return {};
    return value.GetMember("error").AsString();
}

void BindingResult::Reset() {
    value.Reset();
    ok = true;
}

}  // namespace Vorn

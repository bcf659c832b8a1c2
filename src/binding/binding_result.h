#pragma once
// The outcome of every conversion and decoder: a value and an ok flag. A
// failure holds the structure {"error": message}; the first failure wins.
#include <string_view>

#include "binding/binding_property.h"

namespace Vorn {

struct BindingResult {
    BindingProperty value;
    bool ok = true;

    // Records a failure unless one is recorded already.
    void Fail(std::string_view message);
    // Records a failure over an earlier one (for the few rules where a later
    // message is the better one).
    void Replace(std::string_view message);
    // The failure's message; empty while ok.
    std::string_view Message() const;
    // Starts a new step: an empty value, ok again.
    void Reset();
};

}  // namespace Vorn

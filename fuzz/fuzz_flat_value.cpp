// Flat values as a host might hand them in, built from the fuzzer's bytes:
// conversion to a value and back never crashes or leaks, unknown kinds and
// deep nesting fail cleanly, and a successful conversion round-trips.
#include <cstddef>
#include <cstdint>

#include "binding/flat_value.h"
#include "flat_recipe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Vorn::Fuzz::Recipe recipe(data, size);
    BindingFlatValue flat;
    recipe.Build(flat, 0);
    Vorn::BindingProperty value;
    BindingFlatResult result{};
    const bool converted = Vorn::ValueFromFlat(flat, "fuzz", value, &result);
    if (converted == (result.failed != 0)) __builtin_trap();
    Vorn::ReleaseFlatResult(&result);
    if (!converted) return 0;
    BindingFlatValue back{};
    if (Vorn::FlatFromValue(value, nullptr, &back)) {
        Vorn::BindingProperty again;
        if (!Vorn::ValueFromFlat(back, "fuzz", again, nullptr) || !(again == value)) __builtin_trap();
    }
    Vorn::ReleaseFlatValue(&back);
    return 0;
}

// Flat values as a host might hand them in, built from the fuzzer's bytes:
// conversion to a value and back never crashes or leaks, unknown kinds and
// deep nesting fail cleanly, and a successful conversion round-trips.
// Reading the same value straight into records (FlatToNative) gives exactly
// what the value would give them, or declines; and writing those records
// straight back (NativeToFlat) gives what writing their values would.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "binding/binding_descriptor.h"
#include "binding/flat_value.h"
#include "flat_recipe.h"

namespace {

// Field names are among the recipe's texts, so members find them.
enum class Shade : int32_t { Light = 0, Dark = 1 };

struct Inner {
    int32_t a = 0;
    std::string b;
    Vorn::BindingProperty name;
    bool accented = false;
    uint8_t empty = 0;
    bool operator==(const Inner&) const = default;
};

struct Outer {
    std::vector<Inner> a;
    std::unordered_map<std::string, int16_t> b;
    Shade name = Shade::Light;
    double accented = 0.0;
    std::map<std::string, std::vector<uint8_t>> empty;
    bool operator==(const Outer& other) const {
        // Bit for bit: a NaN read either way is the same NaN.
        return a == other.a && b == other.b && name == other.name &&
               std::bit_cast<uint64_t>(accented) == std::bit_cast<uint64_t>(other.accented) && empty == other.empty;
    }
};

}  // namespace

namespace Vorn {
template <>
struct BindingDescriptor<Shade> {
    static constexpr const char* kName = "FuzzShade";
    static constexpr BindingEnumeratorSpec kEnumerators[] = {{"a", 0}, {"name", 1}};
};
template <>
struct BindingDescriptor<Inner> {
    static constexpr const char* kName = "FuzzInner";
    static constexpr auto kFields = std::make_tuple(
        BindingField("a", &Inner::a), BindingField("b", &Inner::b, "", kFieldRequired), BindingField("name", &Inner::name),
        BindingField("\xC3\xA9", &Inner::accented), BindingField("", &Inner::empty));
};
template <>
struct BindingDescriptor<Outer> {
    static constexpr const char* kName = "FuzzOuter";
    static constexpr auto kFields = std::make_tuple(
        BindingField("a", &Outer::a), BindingField("b", &Outer::b), BindingField("name", &Outer::name),
        BindingField("\xC3\xA9", &Outer::accented), BindingField("", &Outer::empty));
};
}  // namespace Vorn

namespace {

const Vorn::TypeRegistry& Registry() {
    static const Vorn::TypeRegistry* registry = [] {
        auto* built = new Vorn::TypeRegistry();
        Vorn::RegisterBindingType<Shade>(*built);
        Vorn::RegisterBindingType<Inner>(*built);
        Vorn::RegisterBindingType<Outer>(*built);
        return built;
    }();
    return *registry;
}

template <typename T>
void ReadsAsTheValueWould(const BindingFlatValue& flat, const Vorn::BindingProperty* value, bool valueRead) {
    T direct{};
    const bool took = Vorn::FlatToNative(direct, flat, &Registry());
    T twoSteps{};
    Vorn::BindingResult converted;
    if (valueRead) Vorn::ValueToNative(converted, twoSteps, *value, "fuzz", &Registry());
    if (took && !(valueRead && converted.ok && direct == twoSteps)) __builtin_trap();
    if (!took && !(direct == T{})) __builtin_trap();
    // And back: written straight, the same flat value as through a value.
    BindingFlatValue straight{};
    const bool wrote = Vorn::NativeToFlat(direct, &Registry(), &straight);
    Vorn::BindingResult back;
    Vorn::NativeToValue(back, direct, &Registry());
    BindingFlatValue through{};
    const bool wroteThrough = back.ok && Vorn::FlatFromValue(back.value, &Registry(), &through);
    if (wrote && !(wroteThrough && Vorn::FlatValuesEqual(straight, through))) __builtin_trap();
    Vorn::ReleaseFlatValue(&straight);
    Vorn::ReleaseFlatValue(&through);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Vorn::Fuzz::Recipe recipe(data, size);
    BindingFlatValue flat;
    recipe.Build(flat, 0);
    Vorn::BindingProperty value;
    BindingFlatResult result{};
    const bool converted = Vorn::ValueFromFlat(flat, "fuzz", value, &result);
    if (converted == (result.failed != 0)) __builtin_trap();
    Vorn::ReleaseFlatResult(&result);
    ReadsAsTheValueWould<Outer>(flat, &value, converted);
    ReadsAsTheValueWould<std::vector<Inner>>(flat, &value, converted);
    if (!converted) return 0;
    BindingFlatValue back{};
    if (Vorn::FlatFromValue(value, nullptr, &back)) {
        Vorn::BindingProperty again;
        if (!Vorn::ValueFromFlat(back, "fuzz", again, nullptr) || !(again == value)) __builtin_trap();
    }
    Vorn::ReleaseFlatValue(&back);
    return 0;
}

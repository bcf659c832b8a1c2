// JSON text from the fuzzer: reading never crashes, never leaks, and what
// reads back writes out as text that reads again into a tree of the same
// shape (so a tree with a name twice or out of order, which would read back
// differently, is caught).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/binding_property.h"
#include "formats/json_reader.h"
#include "formats/json_writer.h"

namespace {

bool IsNumber(Vorn::BindingKind kind) {
    return kind == Vorn::BindingKind::Signed || kind == Vorn::BindingKind::Unsigned ||
           kind == Vorn::BindingKind::Float;
}

// The same kinds, texts, member names in the same order and element counts;
// numbers match any number (-0 reads back as an unsigned 0, and the default
// reader may round a long decimal differently the second time).
bool SameShape(const Vorn::BindingProperty& first, const Vorn::BindingProperty& second) {
    std::vector<std::pair<const Vorn::BindingProperty*, const Vorn::BindingProperty*>> pending{{&first, &second}};
    while (!pending.empty()) {
        const auto [a, b] = pending.back();
        pending.pop_back();
        if (IsNumber(a->Kind()) && IsNumber(b->Kind())) continue;
        // A decimal beyond the double range can read as infinity, which JSON
        // cannot write: it goes out as null.
        if (a->Kind() == Vorn::BindingKind::Empty && b->Kind() == Vorn::BindingKind::Float &&
            !std::isfinite(b->AsDouble())) {
            continue;
        }
        if (a->Kind() != b->Kind()) return false;
        switch (a->Kind()) {
            case Vorn::BindingKind::Bool:
                if (a->AsBool() != b->AsBool()) return false;
                break;
            case Vorn::BindingKind::String:
                if (a->AsString() != b->AsString()) return false;
                break;
            case Vorn::BindingKind::Collection: {
                const auto left = a->Elements();
                const auto right = b->Elements();
                if (left.size() != right.size()) return false;
                for (std::size_t i = 0; i < left.size(); ++i) pending.emplace_back(&left[i], &right[i]);
                break;
            }
            case Vorn::BindingKind::Structure: {
                const auto* left = a->StructureMembers();
                const auto* right = b->StructureMembers();
                if (left->size() != right->size()) return false;
                for (auto l = left->begin(), r = right->begin(); l != left->end(); ++l, ++r) {
                    if (l->first->View() != r->first->View()) return false;
                    pending.emplace_back(&l->second, &r->second);
                }
                break;
            }
            default:
                break;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Vorn::BindingResult counted = Vorn::DeserializeJson(bytes);
    Vorn::BindingResult terminated = Vorn::DeserializeJson(std::string(bytes).c_str());
    if (counted.ok != terminated.ok) __builtin_trap();  // both forms read up to the first NUL
    if (!counted.ok) return 0;
    for (const Vorn::JsonWriteOptions& options :
         {Vorn::JsonWriteOptions{}, Vorn::JsonWriteOptions::Pretty(), Vorn::JsonWriteOptions::Pretty("\r\n")}) {
        const std::string text = Vorn::SerializeJson(counted.value, nullptr, options);
        if (text.empty()) {
            if (!counted.value.IsEmpty()) __builtin_trap();
            continue;
        }
        const Vorn::BindingResult again = Vorn::DeserializeJson(text.c_str());
        if (!again.ok || !SameShape(again.value, counted.value)) __builtin_trap();
    }
    return 0;
}

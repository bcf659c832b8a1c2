// Flat values as a host might hand them in, built from the fuzzer's bytes:
// conversion to a value and back never crashes or leaks, unknown kinds and
// deep nesting fail cleanly, and a successful conversion round-trips.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "binding/flat_value.h"

namespace {

// Reads the fuzzer's bytes as a recipe for a flat tree. Arrays are allocated
// for real, so every count matches its array.
class Recipe {
public:
    Recipe(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }

    void Build(BindingFlatValue& out, int depth) {
        std::memset(static_cast<void*>(&out), 0, sizeof(out));
        const uint8_t kind = Byte() % 13;  // 11 and 12 are unknown kinds
        out.kind = kind;
        switch (kind) {
            case kFlatBool: out.payload.boolean = Byte(); break;
            case kFlatSigned:
            case kFlatUnsigned:
            case kFlatFloat:
                for (int i = 0; i < 8; ++i) out.payload.u = (out.payload.u << 8) | Byte();
                break;
            case kFlatBorrowedString:
            case kFlatOwnedString: out.payload.string.text = Text(); break;
            case kFlatBorrowedBlob:
            case kFlatOwnedBlob:
                static const uint8_t kBytes[4] = {0, 1, 0x80, 0xFF};
                out.payload.blob.data = Byte() % 5 == 0 ? nullptr : kBytes;
                out.payload.blob.length = Byte() % 5;  // with null data, any length reads as empty
                if (out.payload.blob.data != nullptr && out.payload.blob.length > 4) out.payload.blob.length = 4;
                break;
            case kFlatCollection: {
                // Deep chains are allowed to pass the library's nesting limit.
                const uint32_t count = depth > 600 ? 0 : Byte() % 4;
                auto& items = collections_.emplace_back(count);
                out.payload.collection.items = items.data();
                out.payload.collection.count = count;
                for (auto& item : items) Build(item, depth + 1);
                break;
            }
            case kFlatStructure: {
                const uint32_t count = depth > 600 ? 0 : Byte() % 4;
                auto& members = structures_.emplace_back(count);
                out.payload.structure.members = members.data();
                out.payload.structure.count = count;
                for (auto& member : members) {
                    member.name = Text();
                    member.ownsName = 0;
                    BindingFlatValue value;
                    Build(value, depth + 1);
                    Vorn::StoreMemberValue(member, value);
                }
                break;
            }
            default: break;
        }
    }

private:
    const char* Text() {
        static const char* const kTexts[] = {nullptr, "", "a", "b", "name", "\xC3\xA9"};
        return kTexts[Byte() % 6];
    }

    const uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    std::vector<std::vector<BindingFlatValue>> collections_;
    std::vector<std::vector<BindingFlatMember>> structures_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Recipe recipe(data, size);
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

#pragma once
// Flat values as a host might hand them in, built from a fuzzer's bytes.
// Arrays are allocated for real, so every count matches its array; texts
// include null pointers, and deep chains may pass the library's nesting limit.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <utility>
#include <vector>

#include "binding/flat_value.h"

namespace Vorn::Fuzz {

// Reads bytes as a recipe for a flat tree; past their end every byte reads 0.
class Recipe {
public:
    Recipe(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    // Texts and member names are picked from these (null among them).
    Recipe(const uint8_t* data, std::size_t size, std::vector<const char*> texts)
        : data_(data), size_(size), texts_(std::move(texts)) {}

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
    const char* Text() { return texts_[Byte() % texts_.size()]; }

    const uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    std::vector<const char*> texts_{nullptr, "", "a", "b", "name", "\xC3\xA9"};
    std::deque<std::vector<BindingFlatValue>> collections_;
    std::deque<std::vector<BindingFlatMember>> structures_;
};

}  // namespace Vorn::Fuzz

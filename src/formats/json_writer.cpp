#include "formats/json_writer.h"

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cmath>
#include <cstring>

#include "binding/base64.h"
#include "formats/rapidjson_allocator.h"

namespace Vorn {

namespace {

using Buffer = rapidjson::GenericStringBuffer<rapidjson::UTF8<>, RapidJsonHeapAllocator>;
using CompactWriter = rapidjson::Writer<Buffer, rapidjson::UTF8<>, rapidjson::UTF8<>, RapidJsonHeapAllocator>;
using PrettyWriter = rapidjson::PrettyWriter<Buffer, rapidjson::UTF8<>, rapidjson::UTF8<>, RapidJsonHeapAllocator>;

// Both writers walk the value through the same visitor.
template <typename Writer>
class JsonWritingVisitor final : public BindingVisitor {
public:
    JsonWritingVisitor(Writer& writer, const TypeRegistry* registry) : writer_(writer), registry_(registry) {}

    void Empty() override { writer_.Null(); }
    void Bool(bool v) override { writer_.Bool(v); }
    // Numbers that fit 32 bits take RapidJSON's shorter conversion; the text is the same.
    void Signed(int64_t v) override {
        if (v >= INT32_MIN && v <= INT32_MAX) {
            writer_.Int(static_cast<int>(v));
        } else {
            writer_.Int64(v);
        }
    }
    void Unsigned(uint64_t v) override {
        if (v <= UINT32_MAX) {
            writer_.Uint(static_cast<unsigned>(v));
        } else {
            writer_.Uint64(v);
        }
    }
    void Float(double v) override {
        // RapidJSON refuses these after writing the separator before them,
        // which would leave a hole; null keeps the text valid.
        if (std::isfinite(v)) {
            writer_.Double(v);
        } else {
            writer_.Null();
        }
    }
    void String(std::string_view v) override { writer_.String(v.data(), static_cast<rapidjson::SizeType>(v.size())); }
    void Blob(std::span<const uint8_t> bytes) override {
        scratch_.clear();
        EncodeBase64(bytes, scratch_);
        writer_.String(scratch_.data(), static_cast<rapidjson::SizeType>(scratch_.size()));
    }
    void Enum(const BindingEnum& e) override {
        if (registry_ != nullptr) {
            if (std::optional<std::string> name = registry_->EnumeratorName(e.type, e.value)) {
                writer_.String(name->data(), static_cast<rapidjson::SizeType>(name->size()));
                return;
            }
        }
        writer_.Int64(e.value);
    }
    void BeginCollection(std::size_t) override { writer_.StartArray(); }
    void EndCollection() override { writer_.EndArray(); }
    void BeginStructure(std::size_t) override { writer_.StartObject(); }
    void BeginMember(std::string_view name) override {
        writer_.Key(name.data(), static_cast<rapidjson::SizeType>(name.size()));
    }
    void EndStructure() override { writer_.EndObject(); }

private:
    Writer& writer_;
    const TypeRegistry* registry_;
    std::string scratch_;
};

template <typename Writer>
std::string Write(const BindingProperty& value, const TypeRegistry* registry) {
    RapidJsonHeapAllocator allocator;
    Buffer buffer(&allocator);
    Writer writer(buffer, &allocator);
    JsonWritingVisitor<Writer> visitor(writer, registry);
    value.Walk(visitor);
    return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace

std::string SerializeJson(const BindingProperty& value, const TypeRegistry* registry, const JsonWriteOptions& options) {
    if (value.IsEmpty()) return std::string();
    if (options.layout == JsonLayout::Compact) return Write<CompactWriter>(value, registry);
    std::string text = Write<PrettyWriter>(value, registry);
    const std::string_view newline = options.newline;
    if (newline.empty() || newline == "\n") return text;
    std::string replaced;
    replaced.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') {
            replaced += newline;
        } else {
            replaced += c;
        }
    }
    return replaced;
}

}  // namespace Vorn

#include "formats/json_writer.h"

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "binding/base64.h"
#include "formats/rapidjson_allocator.h"

namespace Vorn {

namespace {

using Buffer = rapidjson::GenericStringBuffer<rapidjson::UTF8<>, RapidJsonHeapAllocator>;
using CompactWriter = rapidjson::Writer<Buffer, rapidjson::UTF8<>, rapidjson::UTF8<>, RapidJsonHeapAllocator>;
using PrettyWriter = rapidjson::PrettyWriter<Buffer, rapidjson::UTF8<>, rapidjson::UTF8<>, RapidJsonHeapAllocator>;

}  // namespace

}  // namespace Vorn

namespace rapidjson {

// Indentation in one step, as RapidJSON does for its default buffer only.
template <>
inline void PutN(Vorn::Buffer& stream, char c, size_t n) {
    std::memset(stream.Push(n), c, n);
}

// The writer's own loop escapes a string byte by byte. This hands it only the
// bytes that need an escape: runs of the others (most of every text) are
// found sixteen bytes at a time and copied at once. Escaped are control
// characters, '"' and '\\'; bytes above 0x7F go out as they are. (Without
// it, writing a document took 1.4 times RapidJSON's writer on its default
// buffer, which has such a scan.)
template <>
inline bool Writer<Vorn::Buffer, UTF8<>, UTF8<>, Vorn::RapidJsonHeapAllocator, kWriteDefaultFlags>::ScanWriteUnescapedString(
    GenericStringStream<UTF8<>>& is, size_t length) {
    const char* const start = is.src_;
    const char* const end = is.head_ + length;
    const char* p = start;
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    for (; end - p >= 16; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        // Below 0x20 as unsigned bytes: the minimum with 0x1F is the byte itself.
        const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(0x1F)), bytes);
        const __m128i special =
            _mm_or_si128(control, _mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)));
        const int mask = _mm_movemask_epi8(special);
        if (mask != 0) {
            p += __builtin_ctz(static_cast<unsigned>(mask));
            break;
        }
    }
#endif
    while (p != end) {
        const auto c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == '"' || c == '\\') break;
        ++p;
    }
    const std::size_t run = static_cast<std::size_t>(p - start);
    if (run != 0) {
        std::memcpy(os_->PushUnsafe(run), start, run);
        is.src_ = p;
    }
    return p != end;
}

}  // namespace rapidjson

namespace Vorn {

namespace {

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

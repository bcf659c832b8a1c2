#include "formats/json_reader.h"

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <cstdint>
#include <vector>

#include "binding/binding_limits.h"
#include "formats/rapidjson_allocator.h"
#include "support/message_format.h"

namespace Vorn {

namespace {

// Receives RapidJSON's events and fills the tree.
class JsonValueBuilder {
public:
    explicit JsonValueBuilder(BindingProperty& root) : current_(&root) {}

    // RapidJSON's handler interface: returning false stops the parse.
    bool Null();
    bool Bool(bool value);
    bool Int(int value);
    bool Uint(unsigned value);
    bool Int64(int64_t value);
    bool Uint64(uint64_t value);
    bool Double(double value);
    bool RawNumber(const char* text, unsigned length, bool copy);
    bool String(const char* text, unsigned length, bool copy);
    bool StartObject();
    bool Key(const char* text, unsigned length, bool copy);
    bool EndObject(unsigned memberCount);
    bool StartArray();
    bool EndArray(unsigned elementCount);

private:
    // The value the next value event fills: a new element when the innermost
    // open container is a collection, else what the last key chose.
    BindingProperty& Target() {
        if (inCollection_) current_ = &open_.back()->AppendElement();
        return *current_;
    }
    bool Open(BindingProperty& container);
    bool Close();

    BindingProperty* current_;
    std::vector<BindingProperty*> open_;
    bool inCollection_ = false;
};

bool JsonValueBuilder::Null() {
    Target();  // an element is still appended; the place stays empty
    return true;
}

bool JsonValueBuilder::Bool(bool value) {
    Target().SetBool(value);
    return true;
}

bool JsonValueBuilder::Int(int value) {
    Target().SetSigned(value);
    return true;
}

bool JsonValueBuilder::Uint(unsigned value) {
    Target().SetUnsigned(value);
    return true;
}

bool JsonValueBuilder::Int64(int64_t value) {
    Target().SetSigned(value);
    return true;
}

bool JsonValueBuilder::Uint64(uint64_t value) {
    Target().SetUnsigned(value);
    return true;
}

bool JsonValueBuilder::Double(double value) {
    Target().SetDouble(value);
    return true;
}

bool JsonValueBuilder::RawNumber(const char* text, unsigned length, bool) {
    // Only reached with the numbers-as-strings flag, which is not used.
    Target().SetString(std::string_view(text, length));
    return true;
}

bool JsonValueBuilder::String(const char* text, unsigned length, bool) {
    Target().SetString(std::string_view(text, length));
    return true;
}

bool JsonValueBuilder::Open(BindingProperty& container) {
    if (open_.size() >= kMaxNestingDepth) return false;
    open_.push_back(&container);
    inCollection_ = container.Kind() == BindingKind::Collection;
    return true;
}

bool JsonValueBuilder::Close() {
    open_.pop_back();
    inCollection_ = !open_.empty() && open_.back()->Kind() == BindingKind::Collection;
    return true;
}

bool JsonValueBuilder::StartObject() {
    BindingProperty& target = Target();
    target.MakeStructure();  // an existing structure keeps its members
    return Open(target);
}

bool JsonValueBuilder::Key(const char* text, unsigned length, bool) {
    current_ = &open_.back()->Member(std::string_view(text, length));
    return true;
}

bool JsonValueBuilder::EndObject(unsigned) { return Close(); }

bool JsonValueBuilder::StartArray() {
    BindingProperty& target = Target();
    target.MakeCollection();  // an existing collection keeps its elements
    return Open(target);
}

bool JsonValueBuilder::EndArray(unsigned) { return Close(); }

using Reader = rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, RapidJsonHeapAllocator>;

template <typename Stream>
BindingResult Parse(Stream& stream) {
    BindingResult result;
    JsonValueBuilder builder(result.value);
    RapidJsonHeapAllocator allocator;
    Reader reader(&allocator);
    const rapidjson::ParseResult parsed = reader.Parse<rapidjson::kParseDefaultFlags>(stream, builder);
    if (parsed.IsError()) {
        char message[kMessageCapacity];
        FormatPositional(message, sizeof(message), "Error: %s at offset %u.",
                         {rapidjson::GetParseError_En(parsed.Code()), static_cast<uint64_t>(parsed.Offset())});
        result.Fail(message);
    }
    return result;
}

}  // namespace

BindingResult DeserializeJson(const char* text) {
    rapidjson::StringStream stream(text != nullptr ? text : "");
    return Parse(stream);
}

BindingResult DeserializeJson(std::string_view text) {
    // A memory stream reads a NUL (embedded or at the end) as the end of text.
    rapidjson::MemoryStream stream(text.data(), text.size());
    return Parse(stream);
}

}  // namespace Vorn

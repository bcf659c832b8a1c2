#include "binding/binding_property.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "binding/binding_access.h"

namespace Vorn {

namespace {

std::string_view UpToNul(std::string_view name) {
    // Names are short: a word at a time, without a call.
    const char* p = name.data();
    std::size_t i = 0;
    for (; i + 8 <= name.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, p + i, sizeof(word));
        if (((word - 0x0101010101010101ull) & ~word & 0x8080808080808080ull) != 0) break;
    }
    for (; i < name.size(); ++i) {
        if (p[i] == '\0') return name.substr(0, i);
    }
    return name;
}

// Every empty collection and structure points here; nothing writes to them.
BindingPropertyAccess::CollectionBody g_emptyCollection{0, 0};
BindingProperty::Members g_emptyMembers;

}  // namespace

BindingPropertyAccess::CollectionBody* BindingPropertyAccess::EmptyCollection() { return &g_emptyCollection; }
BindingProperty::Members* BindingPropertyAccess::EmptyMembers() { return &g_emptyMembers; }

void BindingPropertyAccess::GrowCollection(BindingProperty& v, std::size_t needed, bool exact) {
    CollectionBody* body = v.payload_.collection;
    if (needed <= body->capacity) return;
    std::size_t capacity = needed;
    if (!exact) {
        // Grow by half the size, at least to what is needed.
        std::size_t grown = std::size_t{body->size} + body->size / 2;
        if (grown > capacity) capacity = grown;
        if (capacity > BindingProperty::kMaxElements) capacity = BindingProperty::kMaxElements;
    }
    auto* grownBody = static_cast<CollectionBody*>(v.arena_->Allocate(CollectionBytes(capacity)));
    grownBody->size = body->size;
    grownBody->capacity = static_cast<uint32_t>(capacity);
    // Values hold no pointers to themselves, so moving the bytes moves them.
    if (body->size != 0) {
        std::memcpy(static_cast<void*>(grownBody->Data()), body->Data(), body->size * sizeof(BindingProperty));
    }
    if (body->capacity != 0) v.arena_->Free(body, CollectionBytes(body->capacity));
    v.payload_.collection = grownBody;
}

// The value -------------------------------------------------------------------

BindingProperty::BindingProperty(const BindingProperty& other) : BindingProperty() { CopyFrom(other); }

BindingProperty::BindingProperty(BindingProperty&& other) noexcept : BindingProperty() {
    if (other.ownsArena_) {
        payload_ = other.payload_;
        arena_ = other.arena_;
        kind_ = other.kind_;
        other.arena_ = nullptr;
        other.kind_ = BindingKind::Empty;
        other.payload_.u = 0;
    } else {
        CopyFrom(other);
        other.ReleaseContent();
    }
}

BindingProperty::~BindingProperty() {
    if (ownsArena_) {
        // The whole tree lives in the arena: free it wholesale, no walk.
        ValueArena::Destroy(arena_);
        return;
    }
    ReleaseContent();
}

BindingProperty& BindingProperty::operator=(const BindingProperty& other) {
    if (this != &other) CopyFrom(other);
    return *this;
}

BindingProperty& BindingProperty::operator=(BindingProperty&& other) {
    if (this == &other) return *this;
    if (ownsArena_ && other.ownsArena_) {
        std::swap(payload_, other.payload_);
        std::swap(arena_, other.arena_);
        std::swap(kind_, other.kind_);
    } else {
        CopyFrom(other);
    }
    other.ReleaseContent();
    return *this;
}

void BindingProperty::CopyFrom(const BindingProperty& source) {
    // Leaves take their content before the target is reset, so a source
    // inside the target stays readable.
    switch (source.kind_) {
        case BindingKind::Empty: ReleaseContent(); return;
        case BindingKind::Bool: SetBool(source.payload_.boolean != 0); return;
        case BindingKind::Signed: SetSigned(source.payload_.i); return;
        case BindingKind::Unsigned: SetUnsigned(source.payload_.u); return;
        case BindingKind::Float: SetDouble(source.payload_.d); return;
        case BindingKind::String: SetStringFrom(source); return;
        case BindingKind::Blob: SetBlob(source.payload_.blob->data, source.payload_.blob->size); return;
        case BindingKind::Enum: SetEnum(source.payload_.enumRecord->value, source.payload_.enumRecord->type); return;
        default: break;
    }
    if (source.arena_ == arena_) {
        // Source and target share a tree, and one may contain the other:
        // copy out first, so resetting the target cannot touch the source.
        BindingProperty detached(source);
        CopyFrom(detached);
        return;
    }
    ReleaseContent();
    if (source.kind_ >= BindingKind::String) EnsureArena();
    BindingPropertyAccess::CopyDeep(*this, source);
}

ValueArena* BindingProperty::EnsureArena() {
    if (arena_ == nullptr) arena_ = ValueArena::Create();
    return arena_;
}

void BindingProperty::ReleaseShallow() {
    switch (kind_) {
        case BindingKind::String:
            // The shared empty string needs no arena: a root may hold it without one.
            if (payload_.string != ValueArena::EmptyString()) arena_->Release(payload_.string);
            break;
        case BindingKind::Blob: {
            BlobBody* body = payload_.blob;
            if (body->data != nullptr) arena_->Free(body->data, body->capacity);
            arena_->Free(body, sizeof(BlobBody));
            break;
        }
        case BindingKind::Enum: arena_->Free(payload_.enumRecord, sizeof(BindingEnum)); break;
        case BindingKind::Collection: {
            CollectionBody* body = payload_.collection;
            if (body->capacity != 0) arena_->Free(body, BindingPropertyAccess::CollectionBytes(body->capacity));
            break;
        }
        case BindingKind::Structure: BindingPropertyAccess::FreeMembers(arena_, payload_.structure); break;
        default: break;
    }
    kind_ = BindingKind::Empty;
    payload_.u = 0;
}

void BindingProperty::ReleaseContent() {
    if (BindingPropertyAccess::IsFilledContainer(*this)) {
        BindingPropertyAccess::ResetDeep(*this);
    } else {
        ReleaseShallow();
    }
}

void BindingProperty::Reset() {
    if (ownsArena_ && BindingPropertyAccess::IsFilledContainer(*this)) {
        // The arena holds this tree and nothing else: empty it in one step.
        arena_->Clear();
        kind_ = BindingKind::Empty;
        payload_.u = 0;
        return;
    }
    ReleaseContent();
}

std::size_t BindingProperty::Count() const {
    switch (kind_) {
        case BindingKind::Empty: return 0;
        case BindingKind::String: return payload_.string->length;
        case BindingKind::Blob: return payload_.blob->size;
        case BindingKind::Collection: return payload_.collection->size;
        case BindingKind::Structure: return payload_.structure->size_;
        default: return 1;
    }
}

void BindingProperty::SetBool(bool value) {
    ReleaseContent();
    payload_.boolean = value ? 1 : 0;
    kind_ = BindingKind::Bool;
}

void BindingProperty::SetSigned(int64_t value) {
    ReleaseContent();
    payload_.i = value;
    kind_ = BindingKind::Signed;
}

void BindingProperty::SetUnsigned(uint64_t value) {
    ReleaseContent();
    payload_.u = value;
    kind_ = BindingKind::Unsigned;
}

void BindingProperty::SetDouble(double value) {
    ReleaseContent();
    payload_.d = value;
    kind_ = BindingKind::Float;
}

void BindingProperty::SetString(const char* text) { SetString(std::string_view(text != nullptr ? text : "")); }

void BindingProperty::SetString(std::string_view text) {
    InternedString* entry = text.empty() ? ValueArena::EmptyString() : EnsureArena()->NewText(text);
    ReleaseContent();
    payload_.string = entry;
    kind_ = BindingKind::String;
}

void BindingProperty::SetStringFrom(const BindingProperty& other) {
    if (other.kind_ == BindingKind::String && other.arena_ == arena_ && arena_ != nullptr) {
        InternedString* entry = other.payload_.string;
        arena_->AddReference(entry);
        ReleaseContent();
        payload_.string = entry;
        kind_ = BindingKind::String;
        return;
    }
    SetString(other.AsString());
}

void BindingProperty::SetBlob(const void* data, std::size_t size) {
    if (size > UINT32_MAX) throw std::length_error("blob too large");
    ValueArena* arena = EnsureArena();
    auto* body = static_cast<BlobBody*>(arena->Allocate(sizeof(BlobBody)));
    body->data = nullptr;
    body->size = static_cast<uint32_t>(size);
    body->capacity = static_cast<uint32_t>(size);
    if (size != 0) {
        try {
            body->data = static_cast<uint8_t*>(arena->Allocate(size));
        } catch (...) {
            arena->Free(body, sizeof(BlobBody));
            throw;
        }
        std::memcpy(body->data, data, size);
    }
    ReleaseContent();
    payload_.blob = body;
    kind_ = BindingKind::Blob;
}

void BindingProperty::SetBlob(std::vector<uint8_t>&& bytes) {
    // The bytes must live in the tree's arena, so they are copied there.
    std::vector<uint8_t> taken = std::move(bytes);
    SetBlob(taken.data(), taken.size());
}

void BindingProperty::SetEnum(int32_t value, const TypeIdentifier* type) {
    auto* record = static_cast<BindingEnum*>(EnsureArena()->Allocate(sizeof(BindingEnum)));
    record->value = value;
    record->type = type;
    ReleaseContent();
    payload_.enumRecord = record;
    kind_ = BindingKind::Enum;
}

void BindingProperty::MakeCollection() {
    if (kind_ == BindingKind::Collection) return;
    EnsureArena();
    ReleaseContent();
    payload_.collection = BindingPropertyAccess::EmptyCollection();
    kind_ = BindingKind::Collection;
}

void BindingProperty::MakeStructure() {
    if (kind_ == BindingKind::Structure) return;
    EnsureArena();
    ReleaseContent();
    payload_.structure = BindingPropertyAccess::EmptyMembers();
    kind_ = BindingKind::Structure;
}

void BindingProperty::Reserve(std::size_t count) {
    if (kind_ != BindingKind::Collection) return;
    if (count > kMaxElements) throw std::length_error("BindingProperty::Reserve");
    BindingPropertyAccess::GrowCollection(*this, count, true);
}

BindingProperty& BindingProperty::Element(std::size_t index) {
    if (index >= kMaxElements) throw std::length_error("BindingProperty::Element");
    MakeCollection();
    if (index >= payload_.collection->size) {
        BindingPropertyAccess::GrowCollection(*this, index + 1, false);
        CollectionBody* body = payload_.collection;
        for (std::size_t i = body->size; i <= index; ++i) new (&body->Data()[i]) BindingProperty(ChildTag{}, arena_);
        body->size = static_cast<uint32_t>(index + 1);
    }
    return payload_.collection->Data()[index];
}

BindingProperty& BindingProperty::AppendElement() {
    return Element(kind_ == BindingKind::Collection ? payload_.collection->size : 0);
}

BindingProperty& BindingProperty::Member(std::string_view name) {
    name = UpToNul(name);
    MakeStructure();
    return BindingPropertyAccess::FindOrInsert(*this, name);
}

const BindingProperty& BindingProperty::EmptyValue() {
    static const BindingProperty empty;
    return empty;
}

const BindingProperty& BindingProperty::GetElement(std::size_t index) const {
    if (kind_ == BindingKind::Collection && index < payload_.collection->size) {
        return payload_.collection->Data()[index];
    }
    return EmptyValue();
}

const BindingProperty* BindingProperty::FindMember(std::string_view name) const {
    if (kind_ != BindingKind::Structure) return nullptr;
    Members* members = payload_.structure;
    const uint32_t found = BindingPropertyAccess::Find(members, UpToNul(name), nullptr);
    return found == BindingPropertyAccess::kNotFound ? nullptr : &members->Slots()[found].value;
}

BindingProperty* BindingProperty::FindMember(std::string_view name) {
    return const_cast<BindingProperty*>(static_cast<const BindingProperty*>(this)->FindMember(name));
}

const BindingProperty& BindingProperty::GetMember(std::string_view name) const {
    const BindingProperty* member = FindMember(name);
    return member != nullptr ? *member : EmptyValue();
}

bool BindingProperty::AsBool(bool fallback) const {
    return kind_ == BindingKind::Bool ? payload_.boolean != 0 : fallback;
}

int64_t BindingProperty::AsSigned(int64_t fallback) const {
    return kind_ == BindingKind::Signed ? payload_.i : fallback;
}

uint64_t BindingProperty::AsUnsigned(uint64_t fallback) const {
    return kind_ == BindingKind::Unsigned ? payload_.u : fallback;
}

double BindingProperty::AsDouble(double fallback) const { return kind_ == BindingKind::Float ? payload_.d : fallback; }

std::string_view BindingProperty::AsString(std::string_view fallback) const {
    return kind_ == BindingKind::String ? payload_.string->View() : fallback;
}

const char* BindingProperty::AsCString(const char* fallback) const {
    return kind_ == BindingKind::String ? payload_.string->Text() : fallback;
}

std::span<const uint8_t> BindingProperty::AsBlob(std::span<const uint8_t> fallback) const {
    return kind_ == BindingKind::Blob ? std::span<const uint8_t>(payload_.blob->data, payload_.blob->size) : fallback;
}

BindingEnum BindingProperty::AsEnum(BindingEnum fallback) const {
    return kind_ == BindingKind::Enum ? *payload_.enumRecord : fallback;
}

const InternedString* BindingProperty::AsInterned() const {
    return kind_ == BindingKind::String ? payload_.string : nullptr;
}

bool BindingProperty::Truth() const {
    switch (kind_) {
        case BindingKind::Empty: return false;
        case BindingKind::Bool: return payload_.boolean != 0;
        case BindingKind::Signed:
        case BindingKind::Unsigned: return payload_.u != 0;
        case BindingKind::Float: return payload_.d != 0.0;  // NaN compares unequal, so it is true
        case BindingKind::String: {
            std::string_view text = payload_.string->View();
            return text == "true" || text == "1";
        }
        case BindingKind::Enum: return payload_.enumRecord->value != 0;
        default: return Count() != 0;
    }
}

std::span<BindingProperty> BindingProperty::Elements() {
    if (kind_ != BindingKind::Collection) return {};
    return std::span<BindingProperty>(payload_.collection->Data(), payload_.collection->size);
}

std::span<const BindingProperty> BindingProperty::Elements() const {
    if (kind_ != BindingKind::Collection) return {};
    return std::span<const BindingProperty>(payload_.collection->Data(), payload_.collection->size);
}

const BindingProperty::Members* BindingProperty::StructureMembers() const {
    if (kind_ != BindingKind::Structure) return nullptr;
    EnsureOrdered(payload_.structure);
    return payload_.structure;
}

void BindingProperty::Visit(BindingVisitor& visitor) const { Walk(visitor); }

bool operator==(const BindingProperty& a, const BindingProperty& b) { return BindingPropertyAccess::Equal(a, b); }

}  // namespace Vorn

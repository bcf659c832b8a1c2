#include "binding/binding_property.h"

#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>
#include <tuple>
#include <utility>

namespace Vorn {

namespace {

std::string_view UpToNul(std::string_view name) {
    std::size_t nul = name.find('\0');
    return nul == std::string_view::npos ? name : name.substr(0, nul);
}

bool IsFilledContainer(const BindingProperty& value) {
    return (value.Kind() == BindingKind::Collection || value.Kind() == BindingKind::Structure) && value.Count() != 0;
}

}  // namespace

// The walks that need a value's private parts.
struct BindingPropertyAccess {
    using CollectionBody = BindingProperty::CollectionBody;

    static void GrowCollection(BindingProperty& v, std::size_t needed, bool exact) {
        CollectionBody* body = v.payload_.collection;
        if (needed <= body->capacity) return;
        std::size_t capacity = needed;
        if (!exact) {
            // Grow by half the size, at least to what is needed.
            std::size_t grown = std::size_t{body->size} + body->size / 2;
            if (grown > capacity) capacity = grown;
            if (capacity > BindingProperty::kMaxElements) capacity = BindingProperty::kMaxElements;
        }
        auto* data = static_cast<BindingProperty*>(v.arena_->Allocate(capacity * sizeof(BindingProperty)));
        // Values hold no pointers to themselves, so moving the bytes moves them.
        if (body->size != 0) std::memcpy(static_cast<void*>(data), body->data, body->size * sizeof(BindingProperty));
        if (body->data != nullptr) v.arena_->Free(body->data, body->capacity * sizeof(BindingProperty));
        body->data = data;
        body->capacity = static_cast<uint32_t>(capacity);
    }

    // Empties a value whose subtree may be of any depth, deepest entries first.
    static void ResetDeep(BindingProperty& root) {
        std::vector<BindingProperty*> stack;
        stack.push_back(&root);
        while (!stack.empty()) {
            BindingProperty* top = stack.back();
            if (top->kind_ == BindingKind::Collection && top->payload_.collection->size != 0) {
                CollectionBody* body = top->payload_.collection;
                BindingProperty& last = body->data[body->size - 1];
                if (IsFilledContainer(last)) {
                    stack.push_back(&last);
                } else {
                    last.ReleaseShallow();
                    --body->size;
                }
            } else if (top->kind_ == BindingKind::Structure && !top->payload_.structure->members.empty()) {
                auto& members = top->payload_.structure->members;
                auto last = std::prev(members.end());
                if (IsFilledContainer(last->second)) {
                    stack.push_back(&last->second);
                } else {
                    last->second.ReleaseShallow();
                    // The map keeps its keys const for its readers; the
                    // arena that interned a key releases it.
                    auto* key = const_cast<InternedString*>(last->first);
                    members.erase(last);
                    top->arena_->Release(key);
                }
            } else {
                top->ReleaseShallow();
                stack.pop_back();
            }
        }
    }

    // Copies a scalar, string, blob or enum, or starts an empty container of
    // the same kind; returns whether the container's entries are to follow.
    static bool CopyShallow(BindingProperty& target, const BindingProperty& source) {
        switch (source.kind_) {
            case BindingKind::Empty: return false;
            case BindingKind::Bool:
            case BindingKind::Signed:
            case BindingKind::Unsigned:
            case BindingKind::Float:
                target.payload_ = source.payload_;
                target.kind_ = source.kind_;
                return false;
            case BindingKind::String:
                target.payload_.string = target.arena_->Intern(source.payload_.string->View());
                target.kind_ = BindingKind::String;
                return false;
            case BindingKind::Blob:
                target.SetBlob(source.payload_.blob->data, source.payload_.blob->size);
                return false;
            case BindingKind::Enum:
                target.SetEnum(source.payload_.enumRecord->value, source.payload_.enumRecord->type);
                return false;
            case BindingKind::Collection:
                target.MakeCollection();
                target.Reserve(source.payload_.collection->size);
                return source.payload_.collection->size != 0;
            case BindingKind::Structure:
                target.MakeStructure();
                return !source.payload_.structure->members.empty();
        }
        return false;
    }

    // Copies into an empty target whose arena differs from the source's.
    static void CopyDeep(BindingProperty& target, const BindingProperty& source) {
        struct Frame {
            const BindingProperty* source;
            BindingProperty* target;
            std::size_t index;
            BindingProperty::Members::const_iterator member;
        };
        if (!CopyShallow(target, source)) return;
        std::vector<Frame> stack;
        auto push = [&stack](const BindingProperty* s, BindingProperty* t) {
            Frame frame{s, t, 0, {}};
            if (s->kind_ == BindingKind::Structure) frame.member = s->payload_.structure->members.begin();
            stack.push_back(frame);
        };
        push(&source, &target);
        while (!stack.empty()) {
            Frame& frame = stack.back();
            const BindingProperty* child = nullptr;
            BindingProperty* copy = nullptr;
            if (frame.source->kind_ == BindingKind::Collection) {
                const CollectionBody* body = frame.source->payload_.collection;
                if (frame.index == body->size) {
                    stack.pop_back();
                    continue;
                }
                child = &body->data[frame.index++];
                copy = &frame.target->AppendElement();
            } else {
                const auto& members = frame.source->payload_.structure->members;
                if (frame.member == members.end()) {
                    stack.pop_back();
                    continue;
                }
                auto& targetMembers = frame.target->payload_.structure->members;
                ValueArena* arena = frame.target->arena_;
                InternedString* key = arena->Intern(frame.member->first->View());
                // Source members come in order, so each goes at the end.
                auto inserted = targetMembers.emplace_hint(targetMembers.end(), std::piecewise_construct,
                                                           std::forward_as_tuple(key),
                                                           std::forward_as_tuple(BindingProperty::ChildTag{}, arena));
                child = &frame.member->second;
                copy = &inserted->second;
                ++frame.member;
            }
            if (CopyShallow(*copy, *child)) push(child, copy);
        }
    }

    static bool Equal(const BindingProperty& a, const BindingProperty& b) {
        std::vector<std::pair<const BindingProperty*, const BindingProperty*>> pending;
        pending.emplace_back(&a, &b);
        while (!pending.empty()) {
            auto [x, y] = pending.back();
            pending.pop_back();
            if (x->kind_ != y->kind_) return false;
            switch (x->kind_) {
                case BindingKind::Empty: break;
                case BindingKind::Bool:
                    if (x->payload_.boolean != y->payload_.boolean) return false;
                    break;
                case BindingKind::Signed:
                case BindingKind::Unsigned:
                    if (x->payload_.u != y->payload_.u) return false;
                    break;
                case BindingKind::Float:
                    if (!(x->payload_.d == y->payload_.d || (std::isnan(x->payload_.d) && std::isnan(y->payload_.d))))
                        return false;
                    break;
                case BindingKind::String:
                    if (x->payload_.string->View() != y->payload_.string->View()) return false;
                    break;
                case BindingKind::Blob:
                    if (x->AsBlob().size() != y->AsBlob().size() ||
                        (x->AsBlob().size() != 0 &&
                         std::memcmp(x->AsBlob().data(), y->AsBlob().data(), x->AsBlob().size()) != 0))
                        return false;
                    break;
                case BindingKind::Enum:
                    if (x->payload_.enumRecord->value != y->payload_.enumRecord->value ||
                        x->payload_.enumRecord->type != y->payload_.enumRecord->type)
                        return false;
                    break;
                case BindingKind::Collection: {
                    auto xs = x->Elements();
                    auto ys = y->Elements();
                    if (xs.size() != ys.size()) return false;
                    for (std::size_t i = 0; i < xs.size(); ++i) pending.emplace_back(&xs[i], &ys[i]);
                    break;
                }
                case BindingKind::Structure: {
                    const auto& xm = x->payload_.structure->members;
                    const auto& ym = y->payload_.structure->members;
                    if (xm.size() != ym.size()) return false;
                    for (auto i = xm.begin(), j = ym.begin(); i != xm.end(); ++i, ++j) {
                        if (i->first->View() != j->first->View()) return false;
                        pending.emplace_back(&i->second, &j->second);
                    }
                    break;
                }
            }
        }
        return true;
    }
};

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
        other.Reset();
    }
}

BindingProperty::~BindingProperty() {
    if (ownsArena_) {
        // The whole tree lives in the arena: free it wholesale, no walk.
        ValueArena::Destroy(arena_);
        return;
    }
    Reset();
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
    other.Reset();
    return *this;
}

void BindingProperty::CopyFrom(const BindingProperty& source) {
    // Leaves take their content before the target is reset, so a source
    // inside the target stays readable.
    switch (source.kind_) {
        case BindingKind::Empty: Reset(); return;
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
    Reset();
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
            if (body->data != nullptr) arena_->Free(body->data, body->capacity * sizeof(BindingProperty));
            arena_->Free(body, sizeof(CollectionBody));
            break;
        }
        case BindingKind::Structure:
            payload_.structure->~StructureBody();
            arena_->Free(payload_.structure, sizeof(StructureBody));
            break;
        default: break;
    }
    kind_ = BindingKind::Empty;
    payload_.u = 0;
}

void BindingProperty::Reset() {
    if (IsFilledContainer(*this)) {
        BindingPropertyAccess::ResetDeep(*this);
    } else {
        ReleaseShallow();
    }
}

std::size_t BindingProperty::Count() const {
    switch (kind_) {
        case BindingKind::Empty: return 0;
        case BindingKind::String: return payload_.string->length;
        case BindingKind::Blob: return payload_.blob->size;
        case BindingKind::Collection: return payload_.collection->size;
        case BindingKind::Structure: return payload_.structure->members.size();
        default: return 1;
    }
}

void BindingProperty::SetBool(bool value) {
    Reset();
    payload_.boolean = value ? 1 : 0;
    kind_ = BindingKind::Bool;
}

void BindingProperty::SetSigned(int64_t value) {
    Reset();
    payload_.i = value;
    kind_ = BindingKind::Signed;
}

void BindingProperty::SetUnsigned(uint64_t value) {
    Reset();
    payload_.u = value;
    kind_ = BindingKind::Unsigned;
}

void BindingProperty::SetDouble(double value) {
    Reset();
    payload_.d = value;
    kind_ = BindingKind::Float;
}

void BindingProperty::SetString(const char* text) { SetString(std::string_view(text != nullptr ? text : "")); }

void BindingProperty::SetString(std::string_view text) {
    InternedString* entry = text.empty() ? ValueArena::EmptyString() : EnsureArena()->Intern(text);
    Reset();
    payload_.string = entry;
    kind_ = BindingKind::String;
}

void BindingProperty::SetStringFrom(const BindingProperty& other) {
    if (other.kind_ == BindingKind::String && other.arena_ == arena_ && arena_ != nullptr) {
        InternedString* entry = other.payload_.string;
        arena_->AddReference(entry);
        Reset();
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
    Reset();
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
    Reset();
    payload_.enumRecord = record;
    kind_ = BindingKind::Enum;
}

void BindingProperty::MakeCollection() {
    if (kind_ == BindingKind::Collection) return;
    auto* body = static_cast<CollectionBody*>(EnsureArena()->Allocate(sizeof(CollectionBody)));
    *body = CollectionBody{nullptr, 0, 0};
    Reset();
    payload_.collection = body;
    kind_ = BindingKind::Collection;
}

void BindingProperty::MakeStructure() {
    if (kind_ == BindingKind::Structure) return;
    ValueArena* arena = EnsureArena();
    auto* body = new (arena->Allocate(sizeof(StructureBody))) StructureBody(arena);
    Reset();
    payload_.structure = body;
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
    CollectionBody* body = payload_.collection;
    if (index >= body->size) {
        BindingPropertyAccess::GrowCollection(*this, index + 1, false);
        for (std::size_t i = body->size; i <= index; ++i) new (&body->data[i]) BindingProperty(ChildTag{}, arena_);
        body->size = static_cast<uint32_t>(index + 1);
    }
    return body->data[index];
}

BindingProperty& BindingProperty::AppendElement() {
    return Element(kind_ == BindingKind::Collection ? payload_.collection->size : 0);
}

BindingProperty& BindingProperty::Member(std::string_view name) {
    name = UpToNul(name);
    MakeStructure();
    Members& members = payload_.structure->members;
    auto hint = members.end();
    if (!members.empty()) {
        auto last = std::prev(members.end());
        int order = last->first->View().compare(name);
        if (order == 0) return last->second;
        // Names arriving in order (decoders, copies) go straight to the end.
        if (order > 0) {
            hint = members.lower_bound(name);
            if (hint->first->View() == name) return hint->second;
        }
    }
    InternedString* key = arena_->Intern(name);
    try {
        auto inserted = members.emplace_hint(hint, std::piecewise_construct, std::forward_as_tuple(key),
                                             std::forward_as_tuple(ChildTag{}, arena_));
        return inserted->second;
    } catch (...) {
        arena_->Release(key);
        throw;
    }
}

const BindingProperty& BindingProperty::EmptyValue() {
    static const BindingProperty empty;
    return empty;
}

const BindingProperty& BindingProperty::GetElement(std::size_t index) const {
    if (kind_ == BindingKind::Collection && index < payload_.collection->size) return payload_.collection->data[index];
    return EmptyValue();
}

const BindingProperty* BindingProperty::FindMember(std::string_view name) const {
    if (kind_ != BindingKind::Structure) return nullptr;
    const Members& members = payload_.structure->members;
    auto found = members.find(UpToNul(name));
    return found == members.end() ? nullptr : &found->second;
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
    return std::span<BindingProperty>(payload_.collection->data, payload_.collection->size);
}

std::span<const BindingProperty> BindingProperty::Elements() const {
    if (kind_ != BindingKind::Collection) return {};
    return std::span<const BindingProperty>(payload_.collection->data, payload_.collection->size);
}

const BindingProperty::Members* BindingProperty::StructureMembers() const {
    return kind_ == BindingKind::Structure ? &payload_.structure->members : nullptr;
}

void BindingProperty::Visit(BindingVisitor& visitor) const { Walk(visitor); }

bool operator==(const BindingProperty& a, const BindingProperty& b) { return BindingPropertyAccess::Equal(a, b); }

}  // namespace Vorn

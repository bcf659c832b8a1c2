#include "binding/binding_property.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "binding/binding_access.h"

namespace Vorn {

// Whole trees (releasing, copying, comparing) walk with stacks of their own,
// so that no depth of tree can exhaust the caller's stack.

void BindingPropertyAccess::ResetDeep(BindingProperty& root) {
    std::vector<BindingProperty*> stack;
    stack.push_back(&root);
    while (!stack.empty()) {
        BindingProperty* top = stack.back();
        if (top->kind_ == BindingKind::Collection && top->payload_.collection->size != 0) {
            CollectionBody* body = top->payload_.collection;
            BindingProperty& last = body->Data()[body->size - 1];
            if (BindingPropertyAccess::IsFilledContainer(last)) {
                stack.push_back(&last);
            } else {
                last.ReleaseShallow();
                --body->size;
            }
        } else if (top->kind_ == BindingKind::Structure && top->payload_.structure->size_ != 0) {
            Members* members = top->payload_.structure;
            MemberSlot& last = members->Slots()[members->size_ - 1];
            if (BindingPropertyAccess::IsFilledContainer(last.value)) {
                stack.push_back(&last.value);
            } else {
                if (members->trailer_) {
                    // The order no longer covers the slots; the bookkeeping
                    // goes with them.
                    Members::Trailer* trailer = members->GetTrailer();
                    if (trailer->order != nullptr) {
                        top->arena_->Free(trailer->order, members->capacity_ * sizeof(uint32_t));
                        trailer->order = nullptr;
                        trailer->ordered = 0;
                    }
                    trailer->sorted = std::min(trailer->sorted, members->size_ - 1);
                }
                last.value.ReleaseShallow();
                top->arena_->Release(top->arena_->StringAt(last.Key()));
                --members->size_;
            }
        } else {
            top->ReleaseShallow();
            stack.pop_back();
        }
    }
}

bool BindingPropertyAccess::CopyShallow(BindingProperty& target, const BindingProperty& source) {
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
            if (source.arena_ == target.arena_) {
                target.arena_->AddReference(source.payload_.string);
                target.payload_.string = source.payload_.string;
            } else {
                target.payload_.string = target.arena_->NewText(source.payload_.string->View());
            }
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
        case BindingKind::Structure: {
            target.MakeStructure();
            const Members* members = source.payload_.structure;
            if (members->size_ == 0) return false;
            BindingProperty::EnsureOrdered(source.payload_.structure);
            // Exactly the room the source needs, filled in order below.
            target.payload_.structure = NewMembers(target.arena_, members->size_, false);
            return true;
        }
    }
    return false;
}

void BindingPropertyAccess::CopyDeep(BindingProperty& target, const BindingProperty& source) {
    struct Frame {
        const BindingProperty* source;
        BindingProperty* target;
        uint32_t index;
    };
    if (!CopyShallow(target, source)) return;
    std::vector<Frame> stack;
    stack.push_back(Frame{&source, &target, 0});
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
            child = &body->Data()[frame.index++];
            copy = &frame.target->AppendElement();
        } else {
            const Members* from = frame.source->payload_.structure;
            if (frame.index == from->size_) {
                stack.pop_back();
                continue;
            }
            const MemberSlot& slot = from->Ordered(frame.index++);
            ValueArena* arena = frame.target->arena_;
            // Source members come in order into room made for them.
            Members* into = frame.target->payload_.structure;
            MemberSlot& added = into->Slots()[into->size_];
            InternedString* key = arena->Intern(frame.source->arena_->StringAt(slot.Key())->View());
            new (&added.value) BindingProperty(BindingProperty::ChildTag{}, arena);
            added.SetKey(key->id);
            ++into->size_;
            child = &slot.value;
            copy = &added.value;
        }
        if (CopyShallow(*copy, *child)) stack.push_back(Frame{child, copy, 0});
    }
}

bool BindingPropertyAccess::Equal(const BindingProperty& a, const BindingProperty& b) {
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
                const Members* xm = x->StructureMembers();
                const Members* ym = y->StructureMembers();
                if (xm->size_ != ym->size_) return false;
                for (uint32_t i = 0; i < xm->size_; ++i) {
                    const BindingMember xi = xm->At(i);
                    const BindingMember yi = ym->At(i);
                    if (xi.first->View() != yi.first->View()) return false;
                    pending.emplace_back(&xi.second, &yi.second);
                }
                break;
            }
        }
    }
    return true;
}

}  // namespace Vorn

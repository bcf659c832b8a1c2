#include "host-simulator/value_match.h"

#include "formats/json_writer.h"

namespace Vorn::HostSimulator {

namespace {

bool IsNumber(const BindingProperty& value) {
    const BindingKind kind = value.Kind();
    return kind == BindingKind::Signed || kind == BindingKind::Unsigned || kind == BindingKind::Float;
}

double AsNumber(const BindingProperty& value) {
    switch (value.Kind()) {
        case BindingKind::Signed: return static_cast<double>(value.AsSigned());
        case BindingKind::Unsigned: return static_cast<double>(value.AsUnsigned());
        default: return value.AsDouble();
    }
}

// Integers compare exactly over the whole 64-bit range of both kinds; a
// float takes part by its value.
bool NumbersEqual(const BindingProperty& a, const BindingProperty& b) {
    const bool aFloat = a.Kind() == BindingKind::Float;
    const bool bFloat = b.Kind() == BindingKind::Float;
    if (aFloat || bFloat) return AsNumber(a) == AsNumber(b);
    const bool aNegative = a.Kind() == BindingKind::Signed && a.AsSigned() < 0;
    const bool bNegative = b.Kind() == BindingKind::Signed && b.AsSigned() < 0;
    if (aNegative != bNegative) return false;
    if (aNegative) return a.AsSigned() == b.AsSigned();
    const uint64_t au = a.Kind() == BindingKind::Signed ? static_cast<uint64_t>(a.AsSigned()) : a.AsUnsigned();
    const uint64_t bu = b.Kind() == BindingKind::Signed ? static_cast<uint64_t>(b.AsSigned()) : b.AsUnsigned();
    return au == bu;
}

std::string Show(const BindingProperty* value) {
    if (value == nullptr) return "nothing";
    if (value->IsEmpty()) return "null";
    return SerializeJson(*value, nullptr);
}

bool Mismatch(std::string& why, const std::string& where, const BindingProperty& expected,
              const BindingProperty* actual) {
    why = (where.empty() ? std::string("the value") : where) + ": expected " + Show(&expected) + ", got " +
          Show(actual);
    return false;
}

std::string Child(const std::string& where, std::string_view key) {
    return where.empty() ? std::string(key) : where + "." + std::string(key);
}

}  // namespace

bool ValueMatches(const BindingProperty& expected, const BindingProperty* actual, std::string& why,
                  const std::string& where) {
    if (expected.Kind() == BindingKind::String && expected.AsString() == kAnyValue) {
        return actual != nullptr ? true : Mismatch(why, where, expected, actual);
    }
    if (actual == nullptr) return Mismatch(why, where, expected, actual);
    if (IsNumber(expected) && IsNumber(*actual)) {
        return NumbersEqual(expected, *actual) ? true : Mismatch(why, where, expected, actual);
    }
    switch (expected.Kind()) {
        case BindingKind::Structure: {
            if (actual->Kind() != BindingKind::Structure) return Mismatch(why, where, expected, actual);
            for (const auto& [name, member] : *expected.StructureMembers()) {
                const std::string place = Child(where, name->View());
                const BindingProperty* found = actual->FindMember(name->View());
                if (member.Kind() == BindingKind::String && member.AsString() == kAbsentValue) {
                    if (found != nullptr) {
                        why = place + ": expected no such key, got " + Show(found);
                        return false;
                    }
                    continue;
                }
                if (!ValueMatches(member, found, why, place)) return false;
            }
            return true;
        }
        case BindingKind::Collection: {
            if (actual->Kind() != BindingKind::Collection || actual->Count() != expected.Count()) {
                return Mismatch(why, where, expected, actual);
            }
            for (std::size_t i = 0; i < expected.Count(); ++i) {
                const std::string place = where + "[" + std::to_string(i) + "]";
                if (!ValueMatches(expected.GetElement(i), &actual->GetElement(i), why, place)) return false;
            }
            return true;
        }
        default: return expected == *actual ? true : Mismatch(why, where, expected, actual);
    }
}

}  // namespace Vorn::HostSimulator

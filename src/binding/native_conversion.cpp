#include "binding/native_conversion.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "binding/base64.h"
#include "binding/binding_access.h"
#include "binding/number_text.h"
#include "support/message_format.h"

namespace Vorn {

namespace {

// Each message text appears once, next to the rule that produces it.
constexpr const char* kRequired = "A value for '%1' is required.";
constexpr const char* kBoolFormat =
    "Value %1 for '%2' of type bool is in an incorrect format. Options are \"true\", \"false\", \"1\", \"0\".";
constexpr const char* kBoolInvalidType =
    "Couldn't assign value to '%1' of type bool because the input is of an invalid type %2.";
constexpr const char* kNumberFormat = "Value %1 for '%2' of type %3 is in an incorrect format";
constexpr const char* kInvalidType = "Couldn't assign value to '%1' of type %2 because the input is of an invalid type %3.";
constexpr const char* kOutOfRange = "Value %1 for '%2' of type %3 is out of range";
constexpr const char* kNotAnEnumerationValue = "%1 is not a valid enumeration value for '%2'.";
constexpr const char* kNotAString = "Couldn't assign value to '%1' because the input is not a string.";
constexpr const char* kNotAValidEnumerator = "%1 is not a valid %2 enumeration value for '%3'.";
constexpr const char* kEnumInvalidType =
    "Couldn't assign value to '%1' of enum type because the input is of an invalid type %2.";
constexpr const char* kUnregisteredNative = "Couldn't convert native value because it's an unregistered structure.";
constexpr const char* kUnregisteredTarget =
    "Couldn't assign value to '%1' because the input is an unregistered structure or not a structure at all.";
constexpr const char* kNotAStructure = "Couldn't assign value to '%1' of type %2 because the input not a structure.";
constexpr const char* kMissingRequiredField =
    "Couldn't assign value to '%1' of type %2 because the input structure doesn't have required field '%3'.";
constexpr const char* kNotACollection =
    "Couldn't assign value to '%1' of type vector because the input not a collection.";
constexpr const char* kMapNotAStructure = "Couldn't assign value to '%1' of type map because the input not a structure.";

void Fail(BindingResult& result, const char* format, std::initializer_list<FormatArg> args) {
    result.Fail(FormatMessage(format, args));
}

// The shortest text that reads back as the same double.
std::string DoubleText(double value) {
    char text[64];
    auto [end, error] = std::to_chars(text, text + sizeof(text), value);
    return error == std::errc() ? std::string(text, end) : std::string("?");
}

// Doubles compare against integer bounds exactly: 2^63 and 2^64 are
// representable, INT64_MAX and UINT64_MAX are not (they round up to them).
constexpr double kTwoTo63 = 9223372036854775808.0;
constexpr double kTwoTo64 = 18446744073709551616.0;

bool DoubleAtMostSigned(double v, int64_t max) {
    return max == INT64_MAX ? v < kTwoTo63 : v <= static_cast<double>(max);
}
bool DoubleAtLeastSigned(double v, int64_t min) { return v >= static_cast<double>(min); }  // INT64_MIN is exact
bool DoubleAtMostUnsigned(double v, uint64_t max) {
    return max == UINT64_MAX ? v < kTwoTo64 : v <= static_cast<double>(max);
}

}  // namespace

bool TextToSigned(BindingResult& result, std::string_view text, std::string_view path, int64_t min, int64_t max,
                  std::string_view typeName, int64_t& out) {
    if (!result.ok) return false;
    const IntegerText integer = ReadIntegerText(text);
    if (!integer.wellFormed) {
        Fail(result, kNumberFormat, {text, path, typeName});
        return false;
    }
    int64_t value = 0;
    if (!SignedFromIntegerText(integer, value) || value < min || value > max) {
        Fail(result, kOutOfRange, {text, path, typeName});
        return false;
    }
    out = value;
    return true;
}

bool TextToUnsigned(BindingResult& result, std::string_view text, std::string_view path, uint64_t max,
                    std::string_view typeName, uint64_t& out) {
    if (!result.ok) return false;
    const IntegerText integer = ReadIntegerText(text);
    if (!integer.wellFormed) {
        Fail(result, kNumberFormat, {text, path, typeName});
        return false;
    }
    if (integer.negative || integer.overflow || integer.magnitude > max) {
        Fail(result, kOutOfRange, {text, path, typeName});
        return false;
    }
    out = integer.magnitude;
    return true;
}

bool TextToFloating(BindingResult& result, std::string_view text, std::string_view path, double min, double max,
                    std::string_view typeName, double& out) {
    if (!result.ok) return false;
    const FloatText number = ReadFloatText(text);
    if (number.status == FloatText::Status::Malformed) {
        Fail(result, kNumberFormat, {text, path, typeName});
        return false;
    }
    if (number.status != FloatText::Status::Exact || !(number.value >= min && number.value <= max)) {
        Fail(result, kOutOfRange, {text, path, typeName});
        return false;
    }
    out = number.value;
    return true;
}

// The rules, for values and for flat values read as scalars alike.
template <typename Input>
void ConvertToBool(BindingResult& result, bool& out, const Input& input, std::string_view path) {
    if (!result.ok) return;
    switch (input.Kind()) {
        case BindingKind::Empty: Fail(result, kRequired, {path}); return;
        case BindingKind::Bool: out = input.AsBool(); return;
        case BindingKind::String: {
            const std::string_view text = input.AsString();
            if (text == "1" || text == "true") {
                out = true;
            } else if (text == "0" || text == "false") {
                out = false;
            } else {
                Fail(result, kBoolFormat, {text, path});
            }
            return;
        }
        default: Fail(result, kBoolInvalidType, {path, BindingKindName(input.Kind())}); return;
    }
}

template <typename Input>
void ConvertToSigned(BindingResult& result, int64_t& out, const Input& input, std::string_view path,
                     int64_t min, int64_t max, std::string_view typeName) {
    if (!result.ok) return;
    switch (input.Kind()) {
        case BindingKind::Empty: Fail(result, kRequired, {path}); return;
        case BindingKind::Signed: {
            const int64_t v = input.AsSigned();
            if (v < min || v > max) return Fail(result, kOutOfRange, {v, path, typeName});
            out = v;
            return;
        }
        case BindingKind::Unsigned: {
            const uint64_t v = input.AsUnsigned();
            if (max < 0 || v > static_cast<uint64_t>(max)) return Fail(result, kOutOfRange, {v, path, typeName});
            out = static_cast<int64_t>(v);
            return;
        }
        case BindingKind::Float: {
            const double v = input.AsDouble();
            // NaN fails both comparisons, so it is out of range too.
            if (!(DoubleAtLeastSigned(v, min) && DoubleAtMostSigned(v, max))) {
                return Fail(result, kOutOfRange, {DoubleText(v), path, typeName});
            }
            out = static_cast<int64_t>(v);  // truncated toward zero
            return;
        }
        case BindingKind::String: {
            int64_t v = 0;
            if (TextToSigned(result, input.AsString(), path, min, max, typeName, v)) out = v;
            return;
        }
        case BindingKind::Enum: {
            const int32_t v = input.AsEnum().value;
            if (v < min || v > max) return Fail(result, kOutOfRange, {v, path, typeName});
            out = v;
            return;
        }
        default: Fail(result, kInvalidType, {path, typeName, BindingKindName(input.Kind())}); return;
    }
}

template <typename Input>
void ConvertToUnsigned(BindingResult& result, uint64_t& out, const Input& input, std::string_view path,
                       uint64_t max, std::string_view typeName) {
    if (!result.ok) return;
    switch (input.Kind()) {
        case BindingKind::Empty: Fail(result, kRequired, {path}); return;
        case BindingKind::Signed: {
            const int64_t v = input.AsSigned();
            if (v < 0 || static_cast<uint64_t>(v) > max) return Fail(result, kOutOfRange, {v, path, typeName});
            out = static_cast<uint64_t>(v);
            return;
        }
        case BindingKind::Unsigned: {
            const uint64_t v = input.AsUnsigned();
            if (v > max) return Fail(result, kOutOfRange, {v, path, typeName});
            out = v;
            return;
        }
        case BindingKind::Float: {
            const double v = input.AsDouble();
            if (!(v >= 0.0 && DoubleAtMostUnsigned(v, max))) {
                return Fail(result, kOutOfRange, {DoubleText(v), path, typeName});
            }
            out = static_cast<uint64_t>(v);
            return;
        }
        case BindingKind::String: {
            uint64_t v = 0;
            if (TextToUnsigned(result, input.AsString(), path, max, typeName, v)) out = v;
            return;
        }
        case BindingKind::Enum: {
            const int32_t v = input.AsEnum().value;
            if (v < 0 || static_cast<uint64_t>(v) > max) return Fail(result, kOutOfRange, {v, path, typeName});
            out = static_cast<uint64_t>(v);
            return;
        }
        default: Fail(result, kInvalidType, {path, typeName, BindingKindName(input.Kind())}); return;
    }
}

template <typename Input>
void ConvertToFloating(BindingResult& result, double& out, const Input& input, std::string_view path,
                       double min, double max, std::string_view typeName) {
    if (!result.ok) return;
    // Integer inputs compare against the bounds as 64-bit integers; a bound
    // outside that range does not limit them.
    const bool minLimitsSigned = min >= -kTwoTo63 && min < kTwoTo63;
    const bool maxLimitsSigned = max >= -kTwoTo63 && max < kTwoTo63;
    switch (input.Kind()) {
        case BindingKind::Empty: Fail(result, kRequired, {path}); return;
        case BindingKind::Signed:
        case BindingKind::Enum: {
            const int64_t v = input.Kind() == BindingKind::Signed ? input.AsSigned() : input.AsEnum().value;
            if ((minLimitsSigned && v < static_cast<int64_t>(std::ceil(min))) ||
                (maxLimitsSigned && v > static_cast<int64_t>(std::floor(max)))) {
                return Fail(result, kOutOfRange, {v, path, typeName});
            }
            out = static_cast<double>(v);
            return;
        }
        case BindingKind::Unsigned: {
            const uint64_t v = input.AsUnsigned();
            const bool maxLimitsUnsigned = max >= 0.0 && max < kTwoTo64;
            if ((maxLimitsUnsigned && v > static_cast<uint64_t>(std::floor(max))) || (max < 0.0)) {
                return Fail(result, kOutOfRange, {v, path, typeName});
            }
            out = static_cast<double>(v);
            return;
        }
        case BindingKind::Float: {
            const double v = input.AsDouble();
            if (!(v >= min && v <= max)) return Fail(result, kOutOfRange, {DoubleText(v), path, typeName});
            out = v;
            return;
        }
        case BindingKind::String: {
            double v = 0.0;
            if (TextToFloating(result, input.AsString(), path, min, max, typeName, v)) out = v;
            return;
        }
        default: Fail(result, kInvalidType, {path, typeName, BindingKindName(input.Kind())}); return;
    }
}

template <typename Input>
void ConvertToString(BindingResult& result, std::string& out, const Input& input, std::string_view path,
                     const TypeRegistry* registry) {
    if (!result.ok) return;
    switch (input.Kind()) {
        case BindingKind::Empty: Fail(result, kRequired, {path}); return;
        case BindingKind::String: out.assign(input.AsString()); return;
        case BindingKind::Enum: {
            const BindingEnum e = input.AsEnum();
            std::optional<std::string> name = registry != nullptr ? registry->EnumeratorName(e.type, e.value) : std::nullopt;
            if (!name) return Fail(result, kNotAnEnumerationValue, {e.value, path});
            out = std::move(*name);
            return;
        }
        default: Fail(result, kNotAString, {path}); return;
    }
}

template <typename Input>
void ConvertToEnum(BindingResult& result, int32_t& out, const Input& input, std::string_view path,
                   const BindingTypeDescription* type) {
    if (!result.ok) return;
    const char* typeName = type != nullptr ? type->name.c_str() : "";
    auto accept = [&](int64_t number, FormatArg quoted) {
        // Numbers beyond 32 bits are never enumerators; they are not cut down to fit.
        if (number < INT32_MIN || number > INT32_MAX || type == nullptr ||
            !type->HasEnumerator(static_cast<int32_t>(number))) {
            return Fail(result, kNotAValidEnumerator, {quoted, typeName, path});
        }
        out = static_cast<int32_t>(number);
    };
    switch (input.Kind()) {
        case BindingKind::Empty: Fail(result, kRequired, {path}); return;
        case BindingKind::Signed: accept(input.AsSigned(), input.AsSigned()); return;
        case BindingKind::Unsigned: {
            const uint64_t v = input.AsUnsigned();
            accept(v > static_cast<uint64_t>(INT32_MAX) ? INT64_MAX : static_cast<int64_t>(v), v);
            return;
        }
        case BindingKind::Enum: accept(input.AsEnum().value, input.AsEnum().value); return;
        case BindingKind::String: {
            const std::string_view text = input.AsString();
            if (type != nullptr) {
                auto named = type->enumerators.find(text);
                if (named != type->enumerators.end()) {
                    out = named->second.number;
                    return;
                }
            }
            // Not a name: perhaps a number. Whatever the number parser says,
            // the message is the enumeration one.
            BindingResult scratch;
            int64_t number = 0;
            if (!TextToSigned(scratch, text, path, INT64_MIN, INT64_MAX, "int64", number)) number = INT64_MAX;
            accept(number, text);
            return;
        }
        default: Fail(result, kEnumInvalidType, {path, BindingKindName(input.Kind())}); return;
    }
}

template <typename Input>
void ConvertToBlob(BindingResult& result, std::vector<uint8_t>& out, const Input& input,
                   std::string_view path) {
    if (!result.ok) return;
    switch (input.Kind()) {
        case BindingKind::Empty: Fail(result, kRequired, {path}); return;
        case BindingKind::Blob: {
            auto bytes = input.AsBlob();
            out.assign(bytes.begin(), bytes.end());
            return;
        }
        case BindingKind::String: {
            std::vector<uint8_t> decoded;
            if (!DecodeBase64(input.AsString(), decoded)) {
                return Fail(result, kNumberFormat, {input.AsString(), path, "blob"});
            }
            out = std::move(decoded);
            return;
        }
        default: Fail(result, kInvalidType, {path, "blob", BindingKindName(input.Kind())}); return;
    }
}

template void ConvertToBool(BindingResult&, bool&, const BindingProperty&, std::string_view);
template void ConvertToBool(BindingResult&, bool&, const FlatScalar&, std::string_view);
template void ConvertToSigned(BindingResult&, int64_t&, const BindingProperty&, std::string_view, int64_t, int64_t,
                              std::string_view);
template void ConvertToSigned(BindingResult&, int64_t&, const FlatScalar&, std::string_view, int64_t, int64_t,
                              std::string_view);
template void ConvertToUnsigned(BindingResult&, uint64_t&, const BindingProperty&, std::string_view, uint64_t,
                                std::string_view);
template void ConvertToUnsigned(BindingResult&, uint64_t&, const FlatScalar&, std::string_view, uint64_t,
                                std::string_view);
template void ConvertToFloating(BindingResult&, double&, const BindingProperty&, std::string_view, double, double,
                                std::string_view);
template void ConvertToFloating(BindingResult&, double&, const FlatScalar&, std::string_view, double, double,
                                std::string_view);
template void ConvertToString(BindingResult&, std::string&, const BindingProperty&, std::string_view,
                              const TypeRegistry*);
template void ConvertToString(BindingResult&, std::string&, const FlatScalar&, std::string_view, const TypeRegistry*);
template void ConvertToEnum(BindingResult&, int32_t&, const BindingProperty&, std::string_view,
                            const BindingTypeDescription*);
template void ConvertToEnum(BindingResult&, int32_t&, const FlatScalar&, std::string_view,
                            const BindingTypeDescription*);
template void ConvertToBlob(BindingResult&, std::vector<uint8_t>&, const BindingProperty&, std::string_view);
template void ConvertToBlob(BindingResult&, std::vector<uint8_t>&, const FlatScalar&, std::string_view);

void ConvertToObject(BindingResult& result, BindingProperty& out, const BindingProperty& input) {
    out.Reset();
    if (result.ok) out = input;
}

bool IsZeroValue(const BindingProperty& value) {
    switch (value.Kind()) {
        case BindingKind::Empty: return true;
        case BindingKind::Bool: return !value.AsBool();
        case BindingKind::Signed: return value.AsSigned() == 0;
        case BindingKind::Unsigned: return value.AsUnsigned() == 0;
        case BindingKind::Float: return value.AsDouble() == 0.0;
        case BindingKind::Enum: return value.AsEnum().value == 0;
        default: return value.Count() == 0;
    }
}

void StructToValue(BindingResult& result, BindingProperty& target, const void* native,
                   const BindingTypeDescription* type) {
    if (!result.ok) return;
    if (type == nullptr) return Fail(result, kUnregisteredNative, {});
    target.MakeStructure();
    const std::size_t fieldCount = type->members.size();
    constexpr std::size_t kPlacedAtMost = BindingPropertyAccess::kLargestInPlace;
    if (target.Count() == 0 && fieldCount != 0 && fieldCount <= kPlacedAtMost &&
        type->membersByName.size() == fieldCount) {
        // The members are made first, in name order, so that each is added
        // at the end instead of among the others; the fields are still
        // converted as declared, which decides the message of a failure. A
        // field left out when zero is converted aside and placed after.
        BindingPropertyAccess::GrowMembers(target, fieldCount, false);  // no place moves below
        BindingProperty* places[kPlacedAtMost];
        for (uint32_t index : type->membersByName) {
            const BindingFieldDescription& field = type->members[index];
            places[index] = (field.flags & kFieldOmitZero) != 0 ? nullptr : &target.Member(field.name);
        }
        std::vector<std::pair<const BindingFieldDescription*, BindingProperty>> nonZero;
        for (std::size_t i = 0; i < fieldCount; ++i) {
            const BindingFieldDescription& field = type->members[i];
            const void* member = static_cast<const char*>(native) + field.offset;
            if (places[i] != nullptr) {
                field.conversion->toValue(result, *places[i], member, field.typeRef.described);
                if (!result.ok) return;
                continue;
            }
            BindingProperty converted;
            field.conversion->toValue(result, converted, member, field.typeRef.described);
            if (!result.ok) return;
            if (!IsZeroValue(converted)) nonZero.emplace_back(&field, std::move(converted));
        }
        for (auto& [field, converted] : nonZero) target.Member(field->name) = std::move(converted);
        return;
    }
    for (const BindingFieldDescription& field : type->members) {
        const void* member = static_cast<const char*>(native) + field.offset;
        if ((field.flags & kFieldOmitZero) != 0) {
            BindingProperty converted;
            field.conversion->toValue(result, converted, member, field.typeRef.described);
            if (!result.ok) return;
            if (!IsZeroValue(converted)) target.Member(field.name) = std::move(converted);
        } else {
            field.conversion->toValue(result, target.Member(field.name), member, field.typeRef.described);
            if (!result.ok) return;
        }
    }
}

void ValueToStruct(BindingResult& result, void* native, const BindingProperty& input, std::string_view path,
                   const BindingTypeDescription* type, const TypeRegistry* registry) {
    if (!result.ok) return;
    if (input.IsEmpty()) return Fail(result, kRequired, {path});
    if (type == nullptr) return Fail(result, kUnregisteredTarget, {path});
    if (input.Kind() != BindingKind::Structure) return Fail(result, kNotAStructure, {path, type->name});
    const std::size_t fieldCount = type->members.size();
    const BindingProperty::Members* members = input.StructureMembers();
    // Each field's member, found in one pass over the structure's members
    // and the fields, both in name order; a structure of many more members
    // than the type has fields is searched instead.
    constexpr std::size_t kMatchedAtMost = 64;
    const BindingProperty* matched[kMatchedAtMost];
    const bool merge = fieldCount <= kMatchedAtMost && members->size() <= 2 * fieldCount + 8 &&
                       type->membersByName.size() == fieldCount;
    if (merge) {
        auto at = members->begin();
        const auto end = members->end();
        for (uint32_t index : type->membersByName) {
            const std::string_view name = FieldLookupName(type->members[index].name);
            while (at != end && at->first->View() < name) ++at;
            matched[index] = at != end && at->first->View() == name ? &at->second : nullptr;
        }
    }
    for (std::size_t i = 0; i < fieldCount; ++i) {
        if (!result.ok) return;
        const BindingFieldDescription& field = type->members[i];
        const BindingProperty* member = merge ? matched[i] : input.FindMember(field.name);
        if (member != nullptr && !member->IsEmpty()) {
            field.conversion->fromValue(result, static_cast<char*>(native) + field.offset, *member, field.name,
                                        field.typeRef.described, registry);
        } else if ((field.flags & kFieldRequired) != 0) {
            Fail(result, kMissingRequiredField, {path, type->name, field.name});
        }
    }
}

void FailNotACollection(BindingResult& result, std::string_view path) { Fail(result, kNotACollection, {path}); }

void FailNotAStructureForMap(BindingResult& result, std::string_view path) { Fail(result, kMapNotAStructure, {path}); }

}  // namespace Vorn

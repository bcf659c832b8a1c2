#pragma once
// Conversion between values and native data, rule by rule. Every function
// first looks at result.ok and does nothing once it is false, so the first
// problem is the one reported; a failure names the place by the path text
// the caller gives. Nothing here throws for bad input.
//
// Typed entry points for whole native types (records, lists, maps) are in
// binding_descriptor.h; these are the rules they are built from.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_result.h"
#include "binding/flat_records.h"
#include "binding/type_registry.h"

namespace Vorn {

// A host's flat value read as the scalar input of the rules below: it reads
// as the value ValueFromFlat makes of it (a null text as "", a text up to its
// first NUL, null bytes as none), without building that value. Containers
// read as their kinds, so the rules refuse them; unknown kinds read as empty
// and are for the caller to refuse first.
class FlatScalar {
public:
    explicit FlatScalar(const BindingFlatValue& flat) : flat_(flat) {}
    BindingKind Kind() const {
        switch (flat_.kind) {
            case kFlatBool: return BindingKind::Bool;
            case kFlatSigned: return BindingKind::Signed;
            case kFlatUnsigned: return BindingKind::Unsigned;
            case kFlatFloat: return BindingKind::Float;
            case kFlatBorrowedString:
            case kFlatOwnedString: return BindingKind::String;
            case kFlatBorrowedBlob:
            case kFlatOwnedBlob: return BindingKind::Blob;
            case kFlatCollection: return BindingKind::Collection;
            case kFlatStructure: return BindingKind::Structure;
            default: return BindingKind::Empty;
        }
    }
    bool AsBool() const { return flat_.payload.boolean != 0; }
    int64_t AsSigned() const { return flat_.payload.i; }
    uint64_t AsUnsigned() const { return flat_.payload.u; }
    double AsDouble() const { return flat_.payload.d; }
    std::string_view AsString() const {
        return flat_.payload.string.text != nullptr ? std::string_view(flat_.payload.string.text) : std::string_view();
    }
    std::span<const uint8_t> AsBlob() const {
        if (flat_.payload.blob.data == nullptr) return {};
        return {flat_.payload.blob.data, flat_.payload.blob.length};
    }
    BindingEnum AsEnum() const { return {}; }  // flat values hold no enums

private:
    const BindingFlatValue& flat_;
};

// Value to native: scalar, string, enum, object and blob targets. `out` is
// written only on success. Each rule takes a BindingProperty or a FlatScalar
// (the two inputs it is instantiated for).
template <typename Input>
void ConvertToBool(BindingResult& result, bool& out, const Input& input, std::string_view path);
template <typename Input>
void ConvertToSigned(BindingResult& result, int64_t& out, const Input& input, std::string_view path, int64_t min,
                     int64_t max, std::string_view typeName);
template <typename Input>
void ConvertToUnsigned(BindingResult& result, uint64_t& out, const Input& input, std::string_view path, uint64_t max,
                       std::string_view typeName);
template <typename Input>
void ConvertToFloating(BindingResult& result, double& out, const Input& input, std::string_view path, double min,
                       double max, std::string_view typeName);
// An enum input takes its enumerator's name, found through the registry.
template <typename Input>
void ConvertToString(BindingResult& result, std::string& out, const Input& input, std::string_view path,
                     const TypeRegistry* registry);
template <typename Input>
void ConvertToEnum(BindingResult& result, int32_t& out, const Input& input, std::string_view path,
                   const BindingTypeDescription* type);
// Resets `out` even when ok is already false, then copies any input.
void ConvertToObject(BindingResult& result, BindingProperty& out, const BindingProperty& input);
// Blob input is copied; a string input is read as Base64 (as blobs are
// written to JSON).
template <typename Input>
void ConvertToBlob(BindingResult& result, std::vector<uint8_t>& out, const Input& input, std::string_view path);

// Text to number, by the string rules of the targets above: integers as
// ReadIntegerText reads them (automatic base), floating text as ReadFloatText
// does (number_text.h), independent of the process locale; the whole text
// must be a number. An underflow is out of range, as an overflow is.
bool TextToSigned(BindingResult& result, std::string_view text, std::string_view path, int64_t min, int64_t max,
                  std::string_view typeName, int64_t& out);
bool TextToUnsigned(BindingResult& result, std::string_view text, std::string_view path, uint64_t max,
                    std::string_view typeName, uint64_t& out);
bool TextToFloating(BindingResult& result, std::string_view text, std::string_view path, double min, double max,
                    std::string_view typeName, double& out);

// Records and the zero values that a member with kFieldOmitZero leaves out.
void StructToValue(BindingResult& result, BindingProperty& target, const void* native,
                   const BindingTypeDescription* type);
void ValueToStruct(BindingResult& result, void* native, const BindingProperty& input, std::string_view path,
                   const BindingTypeDescription* type, const TypeRegistry* registry);
bool IsZeroValue(const BindingProperty& value);

// The container rules' messages, for the typed vector and map conversions.
void FailNotACollection(BindingResult& result, std::string_view path);
void FailNotAStructureForMap(BindingResult& result, std::string_view path);

}  // namespace Vorn

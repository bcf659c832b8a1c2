#pragma once
// Building the parameters of a request to the host and turning its body into
// a typed result. A request sends no parameter entry, one entry holding the
// whole parameter structure (a registered record, or named values assembled
// member by member), or one entry per positional argument; every entry has a
// null name. The send itself is PluginBase::SendRequest.
#include <cstdint>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "binding/binding_descriptor.h"
#include "binding/flat_value.h"
#include "dispatch/host_call_records.h"
#include "plugin/request_result.h"

namespace Vorn {

enum class RequestMethod : uint32_t {
    Delete = kHostMethodDelete,
    Get = kHostMethodGet,
    Head = kHostMethodHead,
    Options = kHostMethodOptions,
    Patch = kHostMethodPatch,
    Post = kHostMethodPost,
    Put = kHostMethodPut,
};

// The message templates of request failures.
inline constexpr const char* kRequestNotSent =
    "Request not sent: Error converting parameters for {method} {url}: {error}";
inline constexpr const char* kErrorResponse = "Error response for {method} {url}: {error}";
inline constexpr const char* kErrorReadingStream = "Error reading streamed response for {method} {url}: {error}";
inline constexpr const char* kErrorConvertingResponse = "Error converting response for {method} {url}: {error}";
inline constexpr const char* kStreamReadError = "Stream read error";
// Where conversions of a body name it.
inline constexpr const char* kResultPath = "<result>";

struct NoParameters {};

// (name, value) pairs that become one structure, member by member.
using NamedParameters = std::vector<std::pair<std::string, BindingProperty>>;

// Arguments sent one entry each, in order.
template <typename... Args>
struct PositionalArguments {
    std::tuple<const Args&...> arguments;
};
template <typename... Args>
PositionalArguments<Args...> Positional(const Args&... arguments) {
    return PositionalArguments<Args...>{std::tuple<const Args&...>(arguments...)};
}

// The parameter entries of one request; owns their flat values.
class RequestParameters {
public:
    RequestParameters() = default;
    ~RequestParameters();
    RequestParameters(const RequestParameters&) = delete;
    RequestParameters& operator=(const RequestParameters&) = delete;

    // Converts the value into one more entry with a null name; false (with
    // Error() set) when it does not convert.
    bool Add(const BindingProperty& value, const TypeRegistry* registry);
    // One more entry with a null name and an empty value, for the caller to
    // write; DropLastEntry takes it back (releasing what it holds).
    BindingFlatValue* NewEntry();
    void DropLastEntry();
    // Records a conversion failure of the caller's (the first one wins).
    void Fail(std::string_view message);

    const HostNamedValue* Entries() const { return entries_.empty() ? nullptr : entries_.data(); }
    uint32_t Count() const { return static_cast<uint32_t>(entries_.size()); }
    bool Failed() const { return failed_; }
    const std::string& Error() const { return error_; }

private:
    std::vector<HostNamedValue> entries_;
    std::string error_;
    bool failed_ = false;
};

namespace RequestDetail {

template <typename T>
bool AddConverted(RequestParameters& parameters, const T& native, const TypeRegistry* registry) {
    // Written straight into the host's record where that writes the same;
    // through a value otherwise, for the failure's message.
    if (NativeToFlat(native, registry, parameters.NewEntry())) return true;
    parameters.DropLastEntry();
    BindingResult converted;
    NativeToValue(converted, native, registry);
    if (!converted.ok) {
        parameters.Fail(converted.Message());
        return false;
    }
    return parameters.Add(converted.value, registry);
}

}  // namespace RequestDetail

inline bool PrepareParameters(RequestParameters&, const NoParameters&, const TypeRegistry*) { return true; }

inline bool PrepareParameters(RequestParameters& parameters, const NamedParameters& named,
                              const TypeRegistry* registry) {
    BindingProperty structure;
    structure.MakeStructure();
    for (const auto& [name, value] : named) structure.Member(name) = value;
    return parameters.Add(structure, registry);
}

template <DescribedRecord T>
bool PrepareParameters(RequestParameters& parameters, const T& record, const TypeRegistry* registry) {
    return RequestDetail::AddConverted(parameters, record, registry);
}

template <typename... Args>
bool PrepareParameters(RequestParameters& parameters, const PositionalArguments<Args...>& positional,
                       const TypeRegistry* registry) {
    return std::apply(
        [&](const auto&... argument) {
            return (RequestDetail::AddConverted(parameters, argument, registry) && ...);
        },
        positional.arguments);
}

// Converts a body to T under "<result>"; a failure becomes the response
// conversion error.
template <typename T>
RequestResult<T> ConvertRequestBody(const BindingProperty& body, const TypeRegistry* registry,
                                    std::string_view method, std::string_view path) {
    T native{};
    BindingResult converted;
    ValueToNative(converted, native, body, kResultPath, registry);
    if (!converted.ok) {
        return RequestError(0, kErrorConvertingResponse, method, path, converted.Message());
    }
    return RequestResult<T>(std::move(native));
}

}  // namespace Vorn

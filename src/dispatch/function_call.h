#pragma once
// The call of an exposed function by the host: the entry every function
// entry of the API table carries, and the steps it runs. The host passes the
// function's context pointer from the API table back with each call; the
// request is routed to that function, its arguments are gathered from the
// request's headers, path, query, named values and body, the function is
// invoked, and the outcome fills the response record.
//
// Every message the host may receive, in full:
//   "Invalid function" (status 404): the request does not match the
//     function's route or method
//   "Unknown argument '%1' for '%2'.": a header, path, query or named value
//     names no argument (an unnamed value: its index), %2 the function
//   kInvalidLocation (function_call.cpp): an argument given where its declaration does not allow
//     it (as a query value when it belongs in the path, say)
//   "Expected value for argument '%1'.": an empty value where one is needed
//   "Index %1 is in an incorrect format" / "Index %1 is out of range"
//   "Unsupported body content type"
//   "Extra MessgePack data found in body"
//   "Couldn't deserialize JSON|YAML|MessagePack value for parameter '%1' of
//     '%2': %3", %3 the decoder's own message
//   "The result of '%1' is nested too deeply to be sent." (status 400)
//   "Function call failed" (status 500): the call ended in an exception,
//     logged by the host-entry guard
// and the messages of the value conversions (native_conversion.h) and of the
// decoders, as they come.
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "dispatch/call_outcome.h"
#include "dispatch/function_table.h"
#include "dispatch/host_call_records.h"

namespace Vorn {

// What the API table hands the host for each function: the registry and the
// function. It lives as long as the API table.
struct FunctionCallContext {
    const TypeRegistry* registry = nullptr;
    std::shared_ptr<const ExposedFunction> function;
};

// The call entry. The response record is zeroed and given its release
// function before anything else, so the host can always release it; what it
// held before is not ours to free.
void VORN_HOST_CALL CallExposedFunction(HostResponse* response, const HostRequest* request);

// Frees what a response of CallExposedFunction owns (not its stream, which
// the host releases through the stream's own function) and zeroes the record.
void VORN_HOST_CALL ReleaseCallResponse(HostResponse* response);

// The longest collection that the indices in the keys of one call's headers,
// path and query may make, in elements added: a short query must not make the
// plug-in allocate without bound. An index past it is out of range.
inline constexpr std::size_t kMaxIndexedElements = 65536;

// The arguments of one call while they are gathered.
class FunctionCall {
public:
    FunctionCall(const BindingFunctionDescription& function, const TypeRegistry* registry);

    CallOutcome& Outcome() { return outcome_; }
    std::vector<BindingProperty>& Arguments() { return arguments_; }

    // Runs the whole call for a request that matched the function's route,
    // then fills the response.
    void Run(const HostRequest& request, const RouteMatch& match, HostResponse* response);

    // One value from a header, the path or the query, by its key: the
    // argument's name, optionally followed by "." and a sub-path of member
    // names and indices ("list.2", "obj.name", "m.0x1.k").
    void AssignArgument(std::string_view key, std::string_view value, std::string_view contentType,
                        ArgumentLocation source);
    // A text into a value: by the content type, or, for a structured target
    // without one, by what the text looks like (MessagePack map or array,
    // JSON object or array, YAML document start); else a string.
    void DecodeParameterValue(BindingProperty& target, std::string_view parameter, std::string_view value,
                              std::string_view contentType, bool structured);
    // The named values of the request, after the path's parameterCount values.
    void AssignNamedValues(const HostNamedValue* values, uint32_t count, std::size_t parameterCount);
    // The body, to the first argument whose location is the body.
    void AssignBody(const char* contentType, const uint8_t* body, uint32_t length);

private:
    const BindingArgumentDescription* FindArgument(std::string_view name, std::size_t* index) const;

    const BindingFunctionDescription& function_;
    const TypeRegistry* registry_;
    CallOutcome outcome_;
    std::vector<BindingProperty> arguments_;
    std::size_t indexedElements_ = 0;
};

// The outcome into a zeroed response: the error, or the result as a flat
// value; flag, result form, status, text, headers; the stream, handed over.
void FillResponse(HostResponse* response, CallOutcome& outcome, const TypeRegistry* registry,
                  std::string_view functionName);

}  // namespace Vorn

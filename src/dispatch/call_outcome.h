#pragma once
// One call of an exposed function while it runs: its outcome, the context a
// completion may read, the stream a response may carry, and the invoker
// that calls the native function.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "binding/binding_result.h"
#include "binding/type_registry.h"

namespace Vorn {

// A response body the host reads in pieces. The host calls Read until more
// is false and then releases the stream, which destroys it.
class ResponseStream {
public:
    virtual ~ResponseStream() = default;
    // On entry *length is the buffer's size; on return the bytes delivered.
    virtual bool Read(void* buffer, uint32_t* length, bool* more) = 0;
    // A capacity hint for the host.
    virtual uint32_t Size() const = 0;
};

struct CallOutcome {
    // The result value, or the first error; once it failed, the steps that
    // run only while the call is good are skipped.
    BindingResult result;
    // Set by completions for the host, which reads them; the runtime's own
    // completions leave them 0. Codes other than 1, 2 and 3 reach the host as 0.
    uint8_t flag = 0;
    uint32_t resultForm = 0;
    uint32_t status = 0;
    std::string text;
    std::vector<std::pair<std::string, std::string>> headers;
    std::unique_ptr<ResponseStream> stream;

    bool Ok() const { return result.ok; }
    // Records a failure unless one is recorded already; a failed call sends
    // no stream.
    void Fail(std::string_view message);
    // Records a failure over an earlier one.
    void Replace(std::string_view message);
};

// What a completion may know of the request. Only functions whose result
// type is one of kContextResultTypes receive it: their result is made from
// the request itself rather than from a native value alone.
struct CallContext {
    uintptr_t requestWord = 0;
    const TypeRegistry* registry = nullptr;
    uint64_t startTime = 0;  // 100-ns ticks since 1970-01-01 UTC
    std::string path;        // query included
    uint32_t method = 0;
    std::string customMethod;
    std::unordered_map<std::string, std::string> headers;  // a later header of a name replaces an earlier one
};

inline constexpr uint32_t kContextResultTypes[] = {0x466F9860, 0x89462EBF};

bool WantsCallContext(uint32_t resultType);

// Calls one native function. Invoke converts the argument values and calls
// it, returning a handle to what it produced (0 for none); Complete turns
// that into the outcome's result; Release frees the handle. A failure in any
// step is recorded in the outcome, never thrown for bad input.
class FunctionInvoker {
public:
    virtual ~FunctionInvoker() = default;
    virtual uintptr_t Invoke(CallOutcome& outcome, std::span<const BindingProperty> arguments,
                             uintptr_t requestWord) = 0;
    virtual void Complete(CallOutcome& outcome, const CallContext* context, uintptr_t handle,
                          uintptr_t requestWord) = 0;
    virtual void Release(uintptr_t handle) = 0;
    // The type identifier of the function's result; 0 for none.
    virtual uint32_t ResultType() const = 0;
};

}  // namespace Vorn

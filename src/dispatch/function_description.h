#pragma once
// What dispatch, help and the API table read of an exposed function.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "binding/binding_type.h"
#include "dispatch/call_outcome.h"

namespace Vorn {

// Where an argument may come from; Any accepts every source.
enum class ArgumentLocation : uint32_t { Any = 0, Query = 1, Path = 2, Header = 4, Body = 5 };

struct BindingArgumentDescription {
    std::string name;
    std::string description;
    bool optional = false;
    // The native shape, which decides defaults and decoding; and the type
    // the API table and help show instead when its code is not None.
    TypeRef type;
    TypeRef shownType;

    const TypeRef& DescribedType() const { return shownType.type != BindingType::None ? shownType : type; }
};

struct BindingFunctionDescription {
    std::string name;
    std::string nameSpace;
    std::string pathTemplate;  // empty: the function's name is its path
    uint32_t method = 0;       // 0 accepts any method; 8 is customMethod
    std::string customMethod;
    std::vector<BindingArgumentDescription> arguments;
    std::vector<ArgumentLocation> locations;  // one per argument
    TypeRef result;
    TypeRef shownResult;
    std::string description;
    std::string help;
    bool threadSafe = false;
    // The result is reported later, as the type `result` describes.
    bool async = false;
    std::vector<std::string> tags;
    std::unique_ptr<FunctionInvoker> invoker;

    const TypeRef& DescribedResult() const { return shownResult.type != BindingType::None ? shownResult : result; }
    // The name of the type an asynchronous result is reported with; "" for
    // synchronous functions and results that are no registered type.
    const std::string& AsyncTypeName() const;
};

}  // namespace Vorn

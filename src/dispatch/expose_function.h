#pragma once
// Exposing a native function to the host, declaratively: the function's
// name, route and arguments are described once, and the argument types are
// those of the callable's parameters.
//
//   ExposeFunction(table, registry,
//                  {.name = "Echo",
//                   .pathTemplate = "/echo/v1/items/{id}",
//                   .method = kHostMethodGet,
//                   .arguments = {{.name = "id", .location = ArgumentLocation::Path},
//                                 {.name = "count", .location = ArgumentLocation::Query, .optional = true}},
//                   .description = "Returns its arguments."},
//                  [](std::string id, int32_t count) { return EchoResult{id, count}; });
//
// A callable is a function pointer, a lambda or other object with one
// operator(), or (with its object) a member function. Its parameters and
// result may be of any type the binding converts (binding_descriptor.h);
// enums and records must be registered in the registry first. A call
// converts each argument value to its parameter type, naming the argument in
// a failure's message; an optional argument that received nothing keeps its
// type's default. The result goes back as NativeToValue makes it; a void
// result is an empty value.
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "binding/binding_descriptor.h"
#include "dispatch/function_table.h"
#include "dispatch/host_call_records.h"

namespace Vorn {

// Every member has a default, so a declaration names only what it needs.
struct ArgumentSpec {
    std::string name{};
    ArgumentLocation location = ArgumentLocation::Any;
    bool optional = false;
    std::string description{};
};

struct FunctionSpec {
    std::string name{};
    std::string pathTemplate{};           // empty: the name is the path
    uint32_t method = kHostMethodAny;     // a HostMethodCode
    std::string customMethod{};           // with kHostMethodCustom
    std::vector<ArgumentSpec> arguments{};  // one per parameter, in order
    std::string description{};
    std::string help{};
    std::string nameSpace{};
    bool threadSafe = false;
    bool async = false;                   // the result is reported later, as its type
    std::vector<std::string> tags{};
};

// The description of a declaration, without types or invoker; false with the reason
// when the declared argument count differs from the callable's.
bool DescribeSpec(FunctionSpec&& spec, std::size_t parameterCount, BindingFunctionDescription& out,
                  std::string* error);

// The parameter and result types of a callable.
template <typename F>
struct CallableTraits : CallableTraits<decltype(&F::operator())> {};

template <typename R, typename... A>
struct CallableTraits<R (*)(A...)> {
    using Result = R;
    using Parameters = std::tuple<std::remove_cvref_t<A>...>;
};
template <typename R, typename... A>
struct CallableTraits<R (*)(A...) noexcept> : CallableTraits<R (*)(A...)> {};
template <typename R, typename C, typename... A>
struct CallableTraits<R (C::*)(A...)> : CallableTraits<R (*)(A...)> {};
template <typename R, typename C, typename... A>
struct CallableTraits<R (C::*)(A...) const> : CallableTraits<R (*)(A...)> {};
template <typename R, typename C, typename... A>
struct CallableTraits<R (C::*)(A...) noexcept> : CallableTraits<R (*)(A...)> {};
template <typename R, typename C, typename... A>
struct CallableTraits<R (C::*)(A...) const noexcept> : CallableTraits<R (*)(A...)> {};

template <typename T>
concept ConvertibleNative = std::is_default_constructible_v<T> && requires { NativeShape<T>::kType; };

// Calls a native function with converted arguments; what it returned waits
// in the call handle until completion converts it.
template <typename Function, typename Result, typename Parameters>
class NativeInvoker;

template <typename Function, typename Result, typename... Parameters>
class NativeInvoker<Function, Result, std::tuple<Parameters...>> final : public FunctionInvoker {
    static_assert((ConvertibleNative<Parameters> && ...),
                  "every parameter must be a type the binding converts, default-constructible");
    static_assert(std::is_void_v<Result> || ConvertibleNative<std::remove_cvref_t<Result>>,
                  "the result must be void or a type the binding converts");
    using Value = std::conditional_t<std::is_void_v<Result>, std::monostate, std::remove_cvref_t<Result>>;

    struct Call {
        std::tuple<Parameters...> arguments;
        std::optional<Value> result;
    };

public:
    NativeInvoker(Function function, const TypeRegistry* registry, std::vector<std::string> names,
                  std::vector<bool> optional)
        : function_(std::move(function)), registry_(registry), names_(std::move(names)), optional_(std::move(optional)) {}

    uintptr_t Invoke(CallOutcome& outcome, std::span<const BindingProperty> arguments, uintptr_t) override {
        if (arguments.size() != sizeof...(Parameters)) {
            outcome.Fail("The call has the wrong number of arguments.");
            return 0;
        }
        auto call = std::make_unique<Call>();
        Convert(outcome, arguments, call->arguments, std::index_sequence_for<Parameters...>{});
        if (!outcome.Ok()) return 0;
        if constexpr (std::is_void_v<Result>) {
            std::apply(function_, std::move(call->arguments));
            call->result.emplace();
        } else {
            call->result.emplace(std::apply(function_, std::move(call->arguments)));
        }
        return reinterpret_cast<uintptr_t>(call.release());
    }

    void Complete(CallOutcome& outcome, const CallContext*, uintptr_t handle, uintptr_t) override {
        const auto* call = reinterpret_cast<const Call*>(handle);
        if (call == nullptr || !call->result) return;
        if constexpr (std::is_void_v<Result>) {
            outcome.result.value.Reset();
        } else {
            NativeToValue(outcome.result, *call->result, registry_);
        }
    }

    void Release(uintptr_t handle) override { delete reinterpret_cast<Call*>(handle); }

    uint32_t ResultType() const override {
        if constexpr (std::is_void_v<Result>) {
            return 0;
        } else {
            return TypeIdOf<Value>().value;
        }
    }

private:
    template <std::size_t... I>
    void Convert(CallOutcome& outcome, [[maybe_unused]] std::span<const BindingProperty> values,
                 [[maybe_unused]] std::tuple<Parameters...>& natives, std::index_sequence<I...>) {
        // In order, until the first failure.
        static_cast<void>((ConvertOne(outcome, values[I], std::get<I>(natives), I) && ...));
    }

    template <typename T>
    bool ConvertOne(CallOutcome& outcome, const BindingProperty& value, T& native, std::size_t index) {
        if (value.IsEmpty() && optional_[index]) return true;
        ValueToNative(outcome.result, native, value, names_[index], registry_);
        return outcome.Ok();
    }

    Function function_;
    const TypeRegistry* registry_;
    std::vector<std::string> names_;
    std::vector<bool> optional_;
};

// Exposes a callable; false, with the reason in error (may be null), when it
// cannot be (see FunctionTable::Add, and a declaration whose argument count differs
// from the callable's). The registry must outlive the table.
template <typename Function>
bool ExposeFunction(FunctionTable& table, const TypeRegistry& registry, FunctionSpec spec, Function function,
                    std::string* error = nullptr) {
    using Traits = CallableTraits<std::decay_t<Function>>;
    using Parameters = typename Traits::Parameters;
    using Result = typename Traits::Result;
    BindingFunctionDescription description;
    if (!DescribeSpec(std::move(spec), std::tuple_size_v<Parameters>, description, error)) return false;
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        ((description.arguments[I].type = TypeRefOf<std::tuple_element_t<I, Parameters>>(&registry)), ...);
    }(std::make_index_sequence<std::tuple_size_v<Parameters>>{});
    if constexpr (!std::is_void_v<Result>) description.result = TypeRefOf<std::remove_cvref_t<Result>>(&registry);
    std::vector<std::string> names;
    std::vector<bool> optional;
    for (const BindingArgumentDescription& argument : description.arguments) {
        names.push_back(argument.name);
        optional.push_back(argument.optional);
    }
    description.invoker = std::make_unique<NativeInvoker<std::decay_t<Function>, Result, Parameters>>(
        std::move(function), &registry, std::move(names), std::move(optional));
    return table.Add(std::move(description), error);
}

// The class and signature of a member function.
template <typename Method>
struct MemberFunctionOf;
template <typename R, typename C, typename... A>
struct MemberFunctionOf<R (C::*)(A...)> {
    using Class = C;
    using Signature = R(A...);
};
template <typename R, typename C, typename... A>
struct MemberFunctionOf<R (C::*)(A...) const> : MemberFunctionOf<R (C::*)(A...)> {};
template <typename R, typename C, typename... A>
struct MemberFunctionOf<R (C::*)(A...) noexcept> : MemberFunctionOf<R (C::*)(A...)> {};
template <typename R, typename C, typename... A>
struct MemberFunctionOf<R (C::*)(A...) const noexcept> : MemberFunctionOf<R (C::*)(A...)> {};

template <typename Object, typename Method, typename R, typename... A>
auto BindSignature(Object* object, Method method, std::type_identity<R(A...)>) {
    return [object, method](A... arguments) -> R { return (object->*method)(std::forward<A>(arguments)...); };
}

// A member function as a callable with the same parameters, called on object.
template <typename Object, typename Method>
    requires std::is_member_function_pointer_v<Method>
auto BindMethod(Object* object, Method method) {
    return BindSignature(object, method, std::type_identity<typename MemberFunctionOf<Method>::Signature>{});
}

}  // namespace Vorn

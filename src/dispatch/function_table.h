#pragma once
// The functions a plug-in exposes, by name. The plug-in keeps one table
// beside its type registry and clears it with the registry (its clear hook).
// Entries are shared: an API table built from the table keeps the functions
// it describes alive, whatever happens to the table afterwards.
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "dispatch/function_description.h"
#include "dispatch/routing.h"

namespace Vorn {

// A function with its route, compiled once when it is added. Never moves:
// the route points at the description beside it.
struct ExposedFunction {
    BindingFunctionDescription description;
    Route route;
};

class FunctionTable {
public:
    // Checks the description and enters it: false, with the reason in error
    // (may be null), when the name is empty or taken, the path template is
    // refused, the locations do not match the arguments, an argument name is
    // empty or repeated, the invoker is missing, or an enum or structure the
    // function uses has no registered description (its TypeRef has none).
    bool Add(BindingFunctionDescription description, std::string* error);
    std::shared_ptr<const ExposedFunction> Find(std::string_view name) const;
    // In name order.
    std::vector<std::shared_ptr<const ExposedFunction>> Functions() const;
    std::size_t Size() const;
    void Clear();

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const ExposedFunction>, std::less<>> functions_;
};

}  // namespace Vorn

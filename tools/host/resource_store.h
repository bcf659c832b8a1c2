#pragma once
// The host's resources by path, answering requests the way its REST-style
// resources do. A path is the whole request path, query string included.
#include <map>
#include <string>

#include "binding/binding_property.h"
#include "host/simulated_host.h"

namespace Vorn::Host {

class ResourceStore {
public:
    void Set(const std::string& path, BindingProperty value);
    void Remove(const std::string& path);
    const BindingProperty* Find(const std::string& path) const;

    // GET answers the stored value or 404 "Not found" (HEAD the same without
    // the body); PATCH merges `value` into the stored one, PUT replaces it,
    // DELETE removes it, POST and OPTIONS change nothing; each of these
    // succeeds with an empty body. Other methods fail with 405. `value` is
    // the request's first parameter, null when it has none.
    Answer Serve(uint32_t method, const std::string& path, const BindingProperty* value);

private:
    std::map<std::string, BindingProperty> resources_;
};

// Merges a patch into a value: where both are structures, member by member
// and recursively; anywhere else the patch replaces what is there.
void MergeValue(BindingProperty& target, const BindingProperty& patch);

}  // namespace Vorn::Host

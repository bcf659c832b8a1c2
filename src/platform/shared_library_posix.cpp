#include <dlfcn.h>

#include <utility>

#include "platform/shared_library.h"

namespace Vorn::Platform {

bool SharedLibrary::Open(const std::string& path, std::string* error) {
    Close();
    // RTLD_LOCAL: two plug-ins built on the same runtime must not see each
    // other's symbols; RTLD_NOW: an unresolved symbol fails here, not later.
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr && error != nullptr) {
        const char* reason = dlerror();
        *error = reason != nullptr ? reason : "cannot load " + path;
    }
    return handle_ != nullptr;
}

void SharedLibrary::Close() {
    if (handle_ != nullptr) dlclose(std::exchange(handle_, nullptr));
}

void* SharedLibrary::Find(const char* name) const { return handle_ != nullptr ? dlsym(handle_, name) : nullptr; }

}  // namespace Vorn::Platform

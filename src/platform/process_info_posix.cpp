#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/process_info.h"
#include "platform/system_paths.h"

namespace Vorn::Platform {

bool SystemModulePath(char* out) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ModuleFileName), &info) == 0 || info.dli_fname == nullptr) return false;
    const std::size_t length = std::strlen(info.dli_fname);
    if (length >= kPathCapacity) return false;
    std::memcpy(out, info.dli_fname, length + 1);
    return true;
}

bool SystemExecutablePath(char* out) {
    const ssize_t length = readlink("/proc/self/exe", out, kPathCapacity - 1);
    if (length <= 0) return false;
    out[length] = '\0';  // readlink does not terminate
    return true;
}

const void* CurrentThreadId() { return reinterpret_cast<const void*>(pthread_self()); }

bool EnvironmentText(const char* name, char* out, std::size_t capacity) {
    const char* text = std::getenv(name);
    if (text == nullptr || capacity == 0) return false;
    const std::size_t length = std::strlen(text);
    if (length >= capacity) return false;
    std::memcpy(out, text, length + 1);
    return true;
}

bool SetEnvironmentText(const char* name, const char* value) { return setenv(name, value, 1) == 0; }

}  // namespace Vorn::Platform

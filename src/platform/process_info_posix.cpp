#include <dlfcn.h>
#include <limits.h>
#include <pthread.h>
#include <unistd.h>

#include <cstring>

#include "platform/process_info.h"

namespace Vorn::Platform {

namespace {
constexpr const char* kUnknown = "<unknown>";

// Resolved once; both names are fixed for the life of the process.
struct ModuleNames {
    char module[PATH_MAX] = {};
    char executable[PATH_MAX] = {};
    char executablePath[PATH_MAX] = {};

    ModuleNames() {
        Dl_info info{};
        if (dladdr(reinterpret_cast<void*>(&ModuleFileName), &info) != 0 && info.dli_fname != nullptr &&
            info.dli_fname[0] != '\0') {
            std::strncpy(module, FileNamePart(info.dli_fname), sizeof(module) - 1);
        }
        char path[PATH_MAX] = {};
        ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
        if (length > 0) {
            std::strncpy(executable, FileNamePart(path), sizeof(executable) - 1);
            std::memcpy(executablePath, path, static_cast<std::size_t>(length));  // path holds length bytes and a NUL
        }
    }
};

const ModuleNames& Names() {
    static const ModuleNames names;
    return names;
}
}  // namespace

const char* ModuleFileName() {
    const char* name = Names().module;
    return name[0] != '\0' ? name : kUnknown;
}

const char* ExecutableFileName() {
    const char* name = Names().executable;
    return name[0] != '\0' ? name : kUnknown;
}

const char* ExecutablePath() {
    const char* path = Names().executablePath;
    return path[0] != '\0' ? path : kUnknown;
}

const void* CurrentThreadId() { return reinterpret_cast<const void*>(pthread_self()); }

}  // namespace Vorn::Platform

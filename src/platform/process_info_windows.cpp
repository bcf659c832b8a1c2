#include <windows.h>

#include <cstring>

#include "platform/process_info.h"

namespace Vorn::Platform {

namespace {
constexpr const char* kUnknown = "<unknown>";

// Resolved once; the names are fixed for the life of the process.
struct ModuleNames {
    char module[MAX_PATH] = {};
    char executable[MAX_PATH] = {};
    char executablePath[MAX_PATH] = {};

    ModuleNames() {
        // The module that holds this code: the plug-in library when loaded
        // as one, not the host's executable.
        HMODULE self = nullptr;
        char path[MAX_PATH] = {};
        if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               reinterpret_cast<LPCSTR>(&ModuleFileName), &self) != 0) {
            const DWORD length = GetModuleFileNameA(self, path, sizeof(path));
            if (length > 0 && length < sizeof(path)) {
                std::strncpy(module, FileNamePart(path), sizeof(module) - 1);
            }
        }
        const DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
        if (length > 0 && length < sizeof(path)) {
            std::strncpy(executable, FileNamePart(path), sizeof(executable) - 1);
            std::memcpy(executablePath, path, length);
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

const void* CurrentThreadId() { return reinterpret_cast<const void*>(static_cast<uintptr_t>(GetCurrentThreadId())); }

}  // namespace Vorn::Platform

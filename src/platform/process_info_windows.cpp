#include <windows.h>

#include <cstdint>

#include "platform/process_info.h"
#include "platform/system_paths.h"

namespace Vorn::Platform {

namespace {
// A length of the buffer's size means the path was cut.
bool FileNameOf(HMODULE module, char* out) {
    const DWORD length = GetModuleFileNameA(module, out, static_cast<DWORD>(kPathCapacity));
    return length > 0 && length < kPathCapacity;
}
}  // namespace

bool EnvironmentText(const char* name, char* out, std::size_t capacity) {
    if (capacity == 0 || capacity > MAXDWORD) return false;
    const DWORD length = GetEnvironmentVariableA(name, out, static_cast<DWORD>(capacity));
    return length > 0 && length < capacity;
}

bool SetEnvironmentText(const char* name, const char* value) { return SetEnvironmentVariableA(name, value) != 0; }

bool SystemModulePath(char* out) {
    HMODULE self = nullptr;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(&ModuleFileName), &self) == 0) {
        return false;
    }
    return FileNameOf(self, out);
}

bool SystemExecutablePath(char* out) { return FileNameOf(nullptr, out); }

const void* CurrentThreadId() { return reinterpret_cast<const void*>(static_cast<uintptr_t>(GetCurrentThreadId())); }

}  // namespace Vorn::Platform

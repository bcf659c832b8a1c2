#include <windows.h>

#include <string>
#include <utility>

#include "platform/shared_library.h"

namespace Vorn::Platform {

namespace {

std::string LastErrorText(const std::string& path) {
    const DWORD code = GetLastError();
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        text, sizeof(text), nullptr);
    std::string reason = length != 0 ? std::string(text, length) : "error " + std::to_string(code);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
    return path + ": " + reason;
}

}  // namespace

bool SharedLibrary::Open(const std::string& path, std::string* error) {
    Close();
    // The loader documents backslashes as the separator; paths given with
    // forward slashes (as the tools and tests write them) are converted.
    std::string native = path;
    for (char& c : native) {
        if (c == '/') c = '\\';
    }
    // A library is loaded whole and its imports bound at once, and its
    // exports are found in it alone: what RTLD_NOW | RTLD_LOCAL ask of
    // dlopen is how Windows always loads.
    handle_ = reinterpret_cast<void*>(LoadLibraryA(native.c_str()));
    if (handle_ == nullptr && error != nullptr) *error = LastErrorText(path);
    return handle_ != nullptr;
}

void SharedLibrary::Close() {
    if (handle_ != nullptr) FreeLibrary(reinterpret_cast<HMODULE>(std::exchange(handle_, nullptr)));
}

void* SharedLibrary::Find(const char* name) const {
    if (handle_ == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name));
}

}  // namespace Vorn::Platform

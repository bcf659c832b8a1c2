#pragma once
// Loading a shared library and finding its exports, for hosts that load
// plug-ins (the simulated host and the host simulator).
#include <string>

namespace Vorn::Platform {

class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;
    SharedLibrary(SharedLibrary&& other) noexcept;
    SharedLibrary& operator=(SharedLibrary&& other) noexcept;

    // Loads the library at path (its own symbols kept local, bound at once);
    // on failure returns false and sets *error to the system's reason.
    bool Open(const std::string& path, std::string* error);
    // Unloads it; the library's code and data are gone afterwards.
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }

    // The address of an exported symbol, null when there is none.
    void* Find(const char* name) const;

private:
    void* handle_ = nullptr;
};

}  // namespace Vorn::Platform

#pragma once
// A text of a given length of which only the first pages can be read: the
// rest is mapped inaccessible, so a reader that goes on into it crashes.
// Shows that a reader stops where it should instead of scanning the rest of
// its input, without timing it.
#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <cstddef>
#include <cstring>
#include <string_view>

namespace Vorn::Testing {

class GuardedText {
public:
    // At least `readable` bytes (whole pages) of `fill`, then inaccessible
    // pages up to `length` bytes.
    GuardedText(char fill, std::size_t readable, std::size_t length) : length_(length) {
        const std::size_t page = PageSize();
        readable = (readable + page - 1) / page * page;
        mapped_ = (length + page - 1) / page * page;
        base_ = Map(mapped_, readable < mapped_ ? readable : mapped_);
        if (base_ != nullptr) std::memset(base_, fill, readable < length ? readable : length);
    }
    ~GuardedText() {
        if (base_ != nullptr) Unmap(base_, mapped_);
    }
    GuardedText(const GuardedText&) = delete;
    GuardedText& operator=(const GuardedText&) = delete;

    // False when the system refused the mapping.
    bool Valid() const { return base_ != nullptr; }
    std::string_view View() const { return {base_, length_}; }

private:
#if defined(_WIN32)
    static std::size_t PageSize() {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        return info.dwPageSize;
    }
    // Reserved whole, inaccessible; only the readable part is committed.
    static char* Map(std::size_t size, std::size_t readable) {
        void* base = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
        if (base == nullptr) return nullptr;
        if (readable != 0 && VirtualAlloc(base, readable, MEM_COMMIT, PAGE_READWRITE) == nullptr) {
            VirtualFree(base, 0, MEM_RELEASE);
            return nullptr;
        }
        return static_cast<char*>(base);
    }
    static void Unmap(char* base, std::size_t) { VirtualFree(base, 0, MEM_RELEASE); }
#else
    static std::size_t PageSize() { return static_cast<std::size_t>(sysconf(_SC_PAGESIZE)); }
    static char* Map(std::size_t size, std::size_t readable) {
        void* base = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED) return nullptr;
        if (readable < size && mprotect(static_cast<char*>(base) + readable, size - readable, PROT_NONE) != 0) {
            munmap(base, size);
            return nullptr;
        }
        return static_cast<char*>(base);
    }
    static void Unmap(char* base, std::size_t size) { munmap(base, size); }
#endif

    char* base_ = nullptr;
    std::size_t length_;
    std::size_t mapped_ = 0;
};

}  // namespace Vorn::Testing

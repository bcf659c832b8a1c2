#pragma once
// A text of a given length of which only the first pages can be read: the
// rest is mapped inaccessible, so a reader that goes on into it crashes.
// Shows that a reader stops where it should instead of scanning the rest of
// its input, without timing it.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <string_view>

namespace Vorn::Testing {

class GuardedText {
public:
    // At least `readable` bytes (whole pages) of `fill`, then inaccessible
    // pages up to `length` bytes.
    GuardedText(char fill, std::size_t readable, std::size_t length) : length_(length) {
        const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        readable = (readable + page - 1) / page * page;
        mapped_ = (length + page - 1) / page * page;
        void* base = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED) return;
        base_ = static_cast<char*>(base);
        std::memset(base_, fill, readable < length ? readable : length);
        if (readable < mapped_ && mprotect(base_ + readable, mapped_ - readable, PROT_NONE) != 0) {
            munmap(base_, mapped_);
            base_ = nullptr;
        }
    }
    ~GuardedText() {
        if (base_ != nullptr) munmap(base_, mapped_);
    }
    GuardedText(const GuardedText&) = delete;
    GuardedText& operator=(const GuardedText&) = delete;

    // False when the system refused the mapping.
    bool Valid() const { return base_ != nullptr; }
    std::string_view View() const { return {base_, length_}; }

private:
    char* base_ = nullptr;
    std::size_t length_;
    std::size_t mapped_ = 0;
};

}  // namespace Vorn::Testing

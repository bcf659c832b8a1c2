// The library's global allocation functions, routed through the counting
// heap hooks. This file is linked only into the plug-in library (and test
// modules standing in for it), never into a host: the library's export list
// keeps these definitions local, so a process that loads the library keeps
// its own allocator and only the library's allocations are counted.
#include <cstdint>
#include <new>

#include "support/memory_hooks.h"

namespace {

void* AllocateOrThrow(std::size_t bytes) {
    if (bytes == 0) bytes = 1;
    for (;;) {
        if (void* block = Vorn::Allocate(bytes)) return block;
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) throw std::bad_alloc();
        handler();
    }
}

// Over-aligned blocks keep the address of the underlying block just below
// the aligned address they hand out.
void* AllocateAligned(std::size_t bytes, std::align_val_t alignment) {
    auto align = static_cast<std::size_t>(alignment);
    if (bytes > SIZE_MAX - align - sizeof(void*)) return nullptr;
    void* raw = Vorn::Allocate(bytes + align + sizeof(void*));
    if (raw == nullptr) return nullptr;
    auto start = reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*);
    auto aligned = (start + align - 1) & ~(static_cast<std::uintptr_t>(align) - 1);
    reinterpret_cast<void**>(aligned)[-1] = raw;
    return reinterpret_cast<void*>(aligned);
}

void FreeAligned(void* block) {
    if (block != nullptr) Vorn::Free(static_cast<void**>(block)[-1]);
}

void* AllocateAlignedOrThrow(std::size_t bytes, std::align_val_t alignment) {
    for (;;) {
        if (void* block = AllocateAligned(bytes == 0 ? 1 : bytes, alignment)) return block;
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) throw std::bad_alloc();
        handler();
    }
}

}  // namespace

void* operator new(std::size_t bytes) { return AllocateOrThrow(bytes); }
void* operator new[](std::size_t bytes) { return AllocateOrThrow(bytes); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept { return Vorn::Allocate(bytes == 0 ? 1 : bytes); }
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
    return Vorn::Allocate(bytes == 0 ? 1 : bytes);
}
void operator delete(void* block) noexcept { Vorn::Free(block); }
void operator delete[](void* block) noexcept { Vorn::Free(block); }
void operator delete(void* block, std::size_t) noexcept { Vorn::Free(block); }
void operator delete[](void* block, std::size_t) noexcept { Vorn::Free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Vorn::Free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Vorn::Free(block); }

void* operator new(std::size_t bytes, std::align_val_t alignment) { return AllocateAlignedOrThrow(bytes, alignment); }
void* operator new[](std::size_t bytes, std::align_val_t alignment) {
    return AllocateAlignedOrThrow(bytes, alignment);
}
void* operator new(std::size_t bytes, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAligned(bytes == 0 ? 1 : bytes, alignment);
}
void* operator new[](std::size_t bytes, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAligned(bytes == 0 ? 1 : bytes, alignment);
}
void operator delete(void* block, std::align_val_t) noexcept { FreeAligned(block); }
void operator delete[](void* block, std::align_val_t) noexcept { FreeAligned(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { FreeAligned(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { FreeAligned(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { FreeAligned(block); }
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept { FreeAligned(block); }

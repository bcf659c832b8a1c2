#pragma once
// RapidJSON's scratch memory (the reader's stack, the writers' buffers) on the
// plug-in's counting heap, like every other allocation of the library.
#include <cstddef>
#include <new>

#include "support/memory_hooks.h"

namespace Vorn {

// RapidJSON writes into what it gets without checking for null: an exhausted
// heap throws instead (a failed reallocation leaves the old block to its
// owner, who frees it on the way out).
class RapidJsonHeapAllocator {
public:
    static const bool kNeedFree = true;
    void* Malloc(std::size_t size) { return size != 0 ? Checked(Allocate(size)) : nullptr; }
    void* Realloc(void* original, std::size_t, std::size_t newSize) {
        if (newSize == 0) {
            Vorn::Free(original);
            return nullptr;
        }
        return Checked(Reallocate(original, newSize));
    }
    static void Free(void* block) { Vorn::Free(block); }

private:
    static void* Checked(void* block) {
        if (block == nullptr) throw std::bad_alloc();
        return block;
    }
};

}  // namespace Vorn

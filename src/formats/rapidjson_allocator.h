#pragma once
// RapidJSON's scratch memory (the reader's stack, the writers' buffers) on the
// plug-in's counting heap, like every other allocation of the library.
#include <cstddef>

#include "support/memory_hooks.h"

namespace Vorn {

class RapidJsonHeapAllocator {
public:
    static const bool kNeedFree = true;
    void* Malloc(std::size_t size) { return size != 0 ? Allocate(size) : nullptr; }
    void* Realloc(void* original, std::size_t, std::size_t newSize) {
        if (newSize == 0) {
            Vorn::Free(original);
            return nullptr;
        }
        return Reallocate(original, newSize);
    }
    static void Free(void* block) { Vorn::Free(block); }
};

}  // namespace Vorn

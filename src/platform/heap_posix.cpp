#include <malloc.h>

#include <cstdlib>
#include <cstring>

#include "platform/heap.h"

namespace Vorn::Platform {

void* HeapAllocate(std::size_t bytes) { return std::malloc(bytes); }

void HeapFree(void* block) { std::free(block); }

void* HeapReallocate(void* block, std::size_t bytes) { return std::realloc(block, bytes); }

char* HeapDuplicateText(const char* text) { return strdup(text); }

std::size_t HeapBlockSize(const void* block) {
    return block == nullptr ? 0 : malloc_usable_size(const_cast<void*>(block));
}

}  // namespace Vorn::Platform

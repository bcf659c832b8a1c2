#include <malloc.h>
#include <string.h>

#include <cstdlib>

#include "platform/heap.h"

namespace Vorn::Platform {

void* HeapAllocate(std::size_t bytes) { return std::malloc(bytes); }

void HeapFree(void* block) { std::free(block); }

void* HeapReallocate(void* block, std::size_t bytes) { return std::realloc(block, bytes); }

char* HeapDuplicateText(const char* text) { return _strdup(text); }

// _msize belongs to the same C runtime heap as malloc above.
std::size_t HeapBlockSize(const void* block) { return block == nullptr ? 0 : _msize(const_cast<void*>(block)); }

}  // namespace Vorn::Platform

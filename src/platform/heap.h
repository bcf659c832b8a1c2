#pragma once
// The C heap, underneath the counting allocation hooks.
#include <cstddef>

namespace Vorn::Platform {

void* HeapAllocate(std::size_t bytes);
void HeapFree(void* block);
void* HeapReallocate(void* block, std::size_t bytes);
char* HeapDuplicateText(const char* text);
// Usable size of a block, which may exceed the size asked for; 0 for null.
std::size_t HeapBlockSize(const void* block);

}  // namespace Vorn::Platform

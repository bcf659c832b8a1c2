#pragma once
// The plug-in's heap functions. Every allocation of the library passes
// through a replaceable hook set; the first allocation installs hooks that
// count into the module's counters.
#include <cstddef>

#include "support/memory_counters.h"

namespace Vorn {

struct MemoryHooks {
    void* (*allocate)(std::size_t bytes, MemoryCounters* counters);
    void (*free)(void* block, MemoryCounters* counters);
    void* (*reallocate)(void* block, std::size_t bytes, MemoryCounters* counters);
    char* (*duplicateText)(const char* text, MemoryCounters* counters);
    std::size_t (*blockSize)(const void* block, MemoryCounters* counters);
};

// Replaces the hook set and the counters it reports into. Blocks allocated
// under the old hooks must still be freeable by the new ones.
void InstallMemoryHooks(const MemoryHooks& hooks, MemoryCounters* counters);

// The counting hooks installed on first use.
const MemoryHooks& CountingMemoryHooks();

// What the counting hooks do with a block the C heap handed out: count its
// usable size as one allocation and raise the peak, or count nothing for
// null. Returns the block. For hook sets that wrap the C heap's functions.
void* CountAllocated(void* block, MemoryCounters* counters);

// The counters of this module (those the counting hooks use by default).
MemoryCounters& ModuleMemoryCounters();

void* Allocate(std::size_t bytes);
void Free(void* block);
void* Reallocate(void* block, std::size_t bytes);
char* DuplicateText(const char* text);
std::size_t BlockSize(const void* block);

}  // namespace Vorn

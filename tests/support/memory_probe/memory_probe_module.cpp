// Loaded by the memory accounting tests as a host would load the plug-in.
#include <cstdint>
#include <vector>

#include "support/memory_hooks.h"

extern "C" {

__attribute__((visibility("default"))) void vorn_probe_statistics(Vorn::MemoryStatisticsRecord* out) {
    Vorn::ReadMemoryStatistics(Vorn::ModuleMemoryCounters(), out);
}

// Allocates through the module's own operator new and frees again.
__attribute__((visibility("default"))) uint64_t vorn_probe_allocate(uint32_t count) {
    auto* values = new std::vector<uint64_t>(count, 7);
    uint64_t sum = 0;
    for (uint64_t v : *values) sum += v;
    delete values;
    return sum;
}

// Hands the host a block from the module's heap; the host gives it back
// through vorn_probe_free.
__attribute__((visibility("default"))) void* vorn_probe_new_block(uint32_t bytes) { return new char[bytes]; }
__attribute__((visibility("default"))) void vorn_probe_free(void* block) { delete[] static_cast<char*>(block); }
}

// Loaded by the memory accounting tests as a host would load the plug-in.
#include <cstdint>
#include <vector>

#include "platform/process_info.h"
#include "support/memory_hooks.h"

#if defined(_WIN32)
#define PROBE_EXPORT __declspec(dllexport)
#else
#define PROBE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

PROBE_EXPORT void vorn_probe_statistics(Vorn::MemoryStatisticsRecord* out) {
    Vorn::ReadMemoryStatistics(Vorn::ModuleMemoryCounters(), out);
}

// Allocates through the module's own operator new and frees again.
PROBE_EXPORT uint64_t vorn_probe_allocate(uint32_t count) {
    auto* values = new std::vector<uint64_t>(count, 7);
    uint64_t sum = 0;
    for (uint64_t v : *values) sum += v;
    delete values;
    return sum;
}

// Hands the host a block from the module's heap; the host gives it back
// through vorn_probe_free.
PROBE_EXPORT void* vorn_probe_new_block(uint32_t bytes) { return new char[bytes]; }
PROBE_EXPORT void vorn_probe_free(void* block) { delete[] static_cast<char*>(block); }

// The name the module's log lines carry: its own file's, not the host's.
PROBE_EXPORT const char* vorn_probe_module_name() { return Vorn::Platform::ModuleFileName(); }
}

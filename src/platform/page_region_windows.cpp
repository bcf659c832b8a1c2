#include <windows.h>

#include <cstdint>

#include "platform/page_region.h"

namespace Vorn::Platform {

namespace {

void* Commit(void* at) {
    return VirtualAlloc(at, kRegionSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

}  // namespace

void* ReserveRegion() {
    // The system's allocation granularity is 64 KiB on every Windows
    // version, so a region normally comes aligned. Should it not, reserve a
    // span twice as large to find an aligned address in it, free the span
    // and take the region there (another thread may take the address in
    // between: then try again).
    void* region = Commit(nullptr);
    if (region == nullptr || reinterpret_cast<uintptr_t>(region) % kRegionSize == 0) return region;
    VirtualFree(region, 0, MEM_RELEASE);
    for (int attempt = 0; attempt < 8; ++attempt) {
        void* span = VirtualAlloc(nullptr, 2 * kRegionSize, MEM_RESERVE, PAGE_NOACCESS);
        if (span == nullptr) return nullptr;
        const uintptr_t start = reinterpret_cast<uintptr_t>(span);
        const uintptr_t aligned = (start + kRegionSize - 1) & ~(static_cast<uintptr_t>(kRegionSize) - 1);
        VirtualFree(span, 0, MEM_RELEASE);
        region = Commit(reinterpret_cast<void*>(aligned));
        if (region != nullptr) return region;
    }
    return nullptr;
}

void ReleaseRegion(void* region) {
    if (region != nullptr) VirtualFree(region, 0, MEM_RELEASE);
}

// Large pages on Windows need a privilege a game client does not hold.
void AdviseLargePages(void*, std::size_t) {}

}  // namespace Vorn::Platform

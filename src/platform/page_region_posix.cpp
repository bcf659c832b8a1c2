#include "platform/page_region.h"

#include <sys/mman.h>

#include <cstdint>

namespace Vorn::Platform {

namespace {
void* Map(std::size_t bytes) {
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}
}  // namespace

void* ReserveRegion() {
    // Often the kernel's placement is aligned already; otherwise map twice
    // the size and trim both ends to the aligned middle.
    void* region = Map(kRegionSize);
    if (region == nullptr) return nullptr;
    if (reinterpret_cast<uintptr_t>(region) % kRegionSize == 0) return region;
    munmap(region, kRegionSize);

    auto* wide = static_cast<char*>(Map(2 * kRegionSize));
    if (wide == nullptr) return nullptr;
    uintptr_t start = reinterpret_cast<uintptr_t>(wide);
    uintptr_t aligned = (start + kRegionSize - 1) & ~(static_cast<uintptr_t>(kRegionSize) - 1);
    std::size_t head = aligned - start;
    std::size_t tail = kRegionSize - head;
    if (head != 0) munmap(wide, head);
    if (tail != 0) munmap(reinterpret_cast<char*>(aligned) + kRegionSize, tail);
    return reinterpret_cast<void*>(aligned);
}

void ReleaseRegion(void* region) {
    if (region != nullptr) munmap(region, kRegionSize);
}

void AdviseLargePages(void* start, std::size_t bytes) {
#if defined(MADV_HUGEPAGE)
    constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(start) + kLargePage - 1) & ~(kLargePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(start) + bytes) & ~(kLargePage - 1);
    if (begin < end) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    static_cast<void>(start);
    static_cast<void>(bytes);
#endif
}

}  // namespace Vorn::Platform

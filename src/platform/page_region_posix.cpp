#include "platform/page_region.h"

#include <sys/mman.h>

namespace Vorn::Platform {

void* ReserveRegion(std::size_t bytes) {
    void* region = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return region == MAP_FAILED ? nullptr : region;
}

void ReleaseRegion(void* region, std::size_t bytes) {
    if (region != nullptr) munmap(region, bytes);
}

}  // namespace Vorn::Platform

// Settings applied before any benchmark runs.
//
// The C heap is told to keep freed memory (as it does in a long-running host
// once its heap has grown), so that no implementation pays for fresh pages
// from the kernel on every iteration while another recycles its own.
// VORN_BENCH_RETAIN_REGIONS=N lets the value page pool keep N wholly free
// 64 KiB regions as well; by default it releases them at once.
#include <malloc.h>

#include <cstdlib>

#include "binding/page_pool.h"

namespace VornBench {
namespace {

int Configure() {
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    if (const char* retain = std::getenv("VORN_BENCH_RETAIN_REGIONS")) {
        Vorn::PagePool::Instance().SetRetainedRegions(std::strtoul(retain, nullptr, 10));
    }
    return 0;
}

const int kConfigured = Configure();

}  // namespace
}  // namespace VornBench

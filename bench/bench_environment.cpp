// Settings applied before any benchmark runs.
//
// The C heap is told to keep freed memory (as it does in a long-running host
// once its heap has grown), so that no implementation pays for fresh pages
// from the kernel on every iteration while another recycles its own. The
// value page pool keeps the reserve the plug-in runtime gives a running
// plug-in (PagePool::kPluginReserve regions, following recent use up to
// kPluginPeakCeiling); VORN_BENCH_RETAIN_REGIONS=N sets a fixed cap instead
// (0: every free region is released at once).
#include <malloc.h>

#include <cstdlib>

#include "binding/page_pool.h"

namespace VornBench {
namespace {

int Configure() {
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    Vorn::PagePool& pool = Vorn::PagePool::Instance();
    if (const char* setting = std::getenv("VORN_BENCH_RETAIN_REGIONS")) {
        pool.SetRetainedRegions(std::strtoul(setting, nullptr, 10));
    } else {
        pool.SetRetainedRegions(Vorn::PagePool::kPluginReserve);
        pool.FollowRecentPeak(Vorn::PagePool::kPluginPeakCeiling);
    }
    return 0;
}

const int kConfigured = Configure();

}  // namespace
}  // namespace VornBench

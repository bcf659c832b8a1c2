// The page pool's reserve over a plug-in's life, with the plug-in run in this
// process (its library's pool is the one the test reads).
#include <gtest/gtest.h>

#include <string>

#include "binding/binding_property.h"
#include "binding/page_pool.h"
#include "plugin/plugin_api_version.h"
#include "plugin/plugin_loader.h"

namespace Vorn {
namespace {

class QuietPlugin : public PluginBase {};

TEST(PluginPageReserve, KeptWhileThePluginRunsAndHandedBackWhenItStops) {
    PagePool& pool = PagePool::Instance();
    pool.SetRetainedRegions(0);
    const PluginApiVersion own = RuntimeApiVersion();
    PluginHostRecord record{};
    record.major = own.major;
    record.minor = own.minor;
    record.patch = own.patch;
    ASSERT_TRUE(LoadPlugin(new QuietPlugin(), &record, "reserve-probe"));
    static const HostApi silent{};
    static const PluginStartRecord start{&silent, 1};
    ASSERT_TRUE(record.callbacks->start(record.plugin, &start));
    EXPECT_EQ(pool.RetainedRegions(), PagePool::kPluginReserve);
    {
        // A tree of a few regions, dropped: its regions stay for the next.
        BindingProperty tree;
        for (int i = 0; i < 20000; ++i) tree.AppendElement().SetString("text " + std::to_string(i));
    }
    EXPECT_GT(pool.Stats().retainedRegions, 0u);
    EXPECT_LE(pool.Stats().retainedRegions, PagePool::kPluginReserve);

    const uint64_t releasedBefore = pool.Stats().regionsReleased;
    const std::size_t kept = pool.Stats().retainedRegions;
    record.callbacks->stop(record.plugin);
    EXPECT_EQ(pool.RetainedRegions(), 0u);
    EXPECT_EQ(pool.Stats().retainedRegions, 0u);
    EXPECT_GE(pool.Stats().regionsReleased, releasedBefore + kept);
    {
        BindingProperty tree;
        for (int i = 0; i < 20000; ++i) tree.AppendElement().SetString("text " + std::to_string(i));
    }
    EXPECT_EQ(pool.Stats().retainedRegions, 0u) << "after stop the pool follows no peak: a dropped tree leaves nothing";
}

}  // namespace
}  // namespace Vorn

// Broken on purpose: its start never returns. The validator must report
// exactly that, as a start that did not finish in time, and not fail the
// checks that need a started plug-in for the same reason.
#include <chrono>
#include <thread>

#include "plugin/plugin_loader.h"

namespace Vorn::BrokenPlugins {
namespace {

class HangingPlugin : public PluginBase {
public:
    bool Start() override {
        // Waits for something that never comes.
        for (;;) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
};

}  // namespace
}  // namespace Vorn::BrokenPlugins

VORN_PLUGIN_ENTRY(load_vorn_hanging_plugin, Vorn::BrokenPlugins::HangingPlugin, "vorn-hanging-plugin")

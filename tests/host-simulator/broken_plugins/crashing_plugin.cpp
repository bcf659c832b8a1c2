// Broken on purpose: its event handler writes through a null pointer. The
// validator must report exactly that, as a crash in its events check, and
// nothing else.
#include "plugin/plugin_loader.h"

namespace Vorn::BrokenPlugins {
namespace {

void VORN_HOST_CALL WriteThroughNull(const HostEventRecord*) {
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
}

class CrashingPlugin : public PluginBase {
public:
    bool Start() override {
        HostSubscribe("OnJsonApiEvent_crashing_v1_things", HostContext(), &WriteThroughNull, 0, 0);
        return true;
    }
};

}  // namespace
}  // namespace Vorn::BrokenPlugins

VORN_PLUGIN_ENTRY(load_vorn_crashing_plugin, Vorn::BrokenPlugins::CrashingPlugin, "vorn-crashing-plugin")

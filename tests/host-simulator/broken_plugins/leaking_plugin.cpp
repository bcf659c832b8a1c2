// Broken on purpose: keeps a block of memory for every event it receives and
// never frees it. The validator must report exactly that, as a leak in its
// events check, and nothing else.
#include "plugin/plugin_loader.h"

namespace Vorn::BrokenPlugins {
namespace {

char* volatile lastBlock = nullptr;

void VORN_HOST_CALL KeepABlock(const HostEventRecord*) {
    // The previous block is lost here, on every event.
    lastBlock = new char[64];
}

class LeakingPlugin : public PluginBase {
public:
    bool Start() override {
        HostSubscribe("OnJsonApiEvent_leaking_v1_things", HostContext(), &KeepABlock, 0, 0);
        return true;
    }
};

}  // namespace
}  // namespace Vorn::BrokenPlugins

VORN_PLUGIN_ENTRY(load_vorn_leaking_plugin, Vorn::BrokenPlugins::LeakingPlugin, "vorn-leaking-plugin")

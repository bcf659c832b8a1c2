// Broken on purpose: besides its entry it exports the same entry under an
// older name (second_export_plugin.map lists both). The validator must report
// exactly that, in its export check, and nothing else.
#include "plugin/plugin_loader.h"

namespace Vorn::BrokenPlugins {

class SecondExportPlugin : public PluginBase {};

}  // namespace Vorn::BrokenPlugins

VORN_PLUGIN_ENTRY(load_vorn_second_export_plugin, Vorn::BrokenPlugins::SecondExportPlugin,
                  "vorn-second-export-plugin")

extern "C" VORN_PLUGIN_EXPORT_ATTRIBUTE bool VORN_HOST_CALL load_second_export_plugin(PluginHostRecord* record) {
    return load_vorn_second_export_plugin(record);
}

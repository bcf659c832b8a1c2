// Broken on purpose: the record points at an API table whose type count is
// one short of its type list, so the last counted type links on to a record
// the count leaves out. The validator must report exactly that, in its
// record check, and nothing else.
#include "plugin/plugin_loader.h"

namespace Vorn::BrokenPlugins {
namespace {

class WrongRecordPlugin : public PluginBase {};

// The record's table; lives as long as the library.
ApiTable shortTable;

}  // namespace
}  // namespace Vorn::BrokenPlugins

extern "C" VORN_PLUGIN_EXPORT_ATTRIBUTE bool VORN_HOST_CALL load_vorn_wrong_record_plugin(PluginHostRecord* record) {
    using namespace Vorn::BrokenPlugins;
    if (!Vorn::LoadNewPlugin<WrongRecordPlugin>(record, "vorn-wrong-record-plugin")) return false;
    shortTable = *record->apiTable;
    shortTable.typeCount = shortTable.typeCount - 1;
    record->apiTable = &shortTable;
    return true;
}

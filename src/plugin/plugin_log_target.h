#pragma once
// The log target of a started plug-in: every line goes to the host's log
// entry with its level and text; the line format is not applied.
#include "logging/log_target.h"
#include "plugin/host_records.h"

namespace Vorn {

class PluginLogTarget : public LogTarget {
public:
    // The table must stay valid while the target is attached (until stop).
    explicit PluginLogTarget(const HostApi* api) : api_(api) {}
    const char* Name() const override { return "PluginLogTarget"; }
    bool Write(const LogMessage& message) override;

private:
    const HostApi* api_;
};

}  // namespace Vorn

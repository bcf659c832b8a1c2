#include "host-simulator/report.h"

#include "formats/json_writer.h"

namespace Vorn::HostSimulator {

std::string ReportJson(const std::string& command, const std::vector<ScenarioResult>& results) {
    BindingProperty report;
    report.Member("command").SetString(command);
    BindingProperty& list = report.Member("results");
    list.MakeCollection();
    for (const ScenarioResult& result : results) {
        BindingProperty& entry = list.AppendElement();
        entry.Member("name").SetString(result.name);
        entry.Member("file").SetString(result.file);
        entry.Member("status").SetString(result.outcome == Outcome::Passed   ? "passed"
                                         : result.outcome == Outcome::Failed ? "failed"
                                                                             : "error");
        entry.Member("seconds").SetDouble(result.seconds);
        BindingProperty& messages = entry.Member("messages");
        messages.MakeCollection();
        for (const std::string& message : result.messages) messages.AppendElement().SetString(message);
    }
    return SerializeJson(report, nullptr, JsonWriteOptions::Pretty());
}

}  // namespace Vorn::HostSimulator

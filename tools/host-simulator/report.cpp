#include "host-simulator/report.h"

#include "formats/json_writer.h"

namespace Vorn::HostSimulator {

namespace {

BindingProperty& AddResult(BindingProperty& list, const std::string& name, const char* status, double seconds,
                           const std::vector<std::string>& messages) {
    BindingProperty& entry = list.AppendElement();
    entry.Member("name").SetString(name);
    entry.Member("status").SetString(status);
    entry.Member("seconds").SetDouble(seconds);
    BindingProperty& texts = entry.Member("messages");
    texts.MakeCollection();
    for (const std::string& message : messages) texts.AppendElement().SetString(message);
    return entry;
}

}  // namespace

std::string ReportJson(const std::string& command, const std::vector<ScenarioResult>& results) {
    BindingProperty report;
    report.Member("command").SetString(command);
    BindingProperty& list = report.Member("results");
    list.MakeCollection();
    for (const ScenarioResult& result : results) {
        const char* status = result.outcome == Outcome::Passed   ? "passed"
                             : result.outcome == Outcome::Failed ? "failed"
                                                                 : "error";
        AddResult(list, result.name, status, result.seconds, result.messages).Member("file").SetString(result.file);
    }
    return SerializeJson(report, nullptr, JsonWriteOptions::Pretty());
}

std::string CheckReportJson(const std::string& plugin, const std::vector<CheckResult>& results) {
    BindingProperty report;
    report.Member("command").SetString("validate");
    report.Member("plugin").SetString(plugin);
    BindingProperty& list = report.Member("results");
    list.MakeCollection();
    for (const CheckResult& result : results) {
        const char* status = result.status == CheckStatus::Pass   ? "passed"
                             : result.status == CheckStatus::Fail ? "failed"
                                                                  : "warning";
        AddResult(list, result.name, status, result.seconds, result.messages);
    }
    return SerializeJson(report, nullptr, JsonWriteOptions::Pretty());
}

}  // namespace Vorn::HostSimulator

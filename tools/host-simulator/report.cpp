#include "host-simulator/report.h"

#include <filesystem>

#include "formats/json_writer.h"
#include "host/host_trace.h"

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

std::string ClassName(const std::string& file) {
    const auto undotted = [](std::string text) {
        for (char& c : text) c = c == '.' ? '_' : c;
        return text;
    };
    const std::filesystem::path path(file);
    const std::string folder = undotted(path.parent_path().filename().string());
    const std::string stem = undotted(path.stem().string());
    return folder.empty() ? stem : folder + "." + stem;
}

JunitSuite ScenarioSuite(const ScenarioResult& result) {
    JunitSuite suite;
    suite.name = result.file;
    suite.out = result.transcript;
    JunitCase& c = suite.cases.emplace_back();
    c.name = result.name;
    c.classname = ClassName(result.file);
    c.seconds = result.seconds;
    if (result.outcome == Outcome::Passed) return suite;
    c.status = result.outcome == Outcome::Failed ? JunitCase::Status::Failed : JunitCase::Status::Error;
    c.message = result.messages.empty() ? "the scenario did not pass" : result.messages.front();
    for (const std::string& message : result.messages) c.details += message + "\n";
    for (const StepReport& step : result.steps) {
        if (step.verdict != StepReport::Verdict::Failed && step.verdict != StepReport::Verdict::Error) continue;
        c.details += "\nstep " + std::to_string(step.number) + ": " + step.text + "\n";
        if (!step.expected.IsEmpty()) c.details += "expected: " + Host::JsonText(step.expected) + "\n";
        for (const BindingProperty& actual : step.actual) c.details += "found:    " + Host::JsonText(actual) + "\n";
    }
    return suite;
}

JunitSuite CheckSuite(const std::string& plugin, const std::vector<CheckResult>& results) {
    JunitSuite suite;
    suite.name = "validate " + plugin;
    for (const CheckResult& result : results) {
        JunitCase& c = suite.cases.emplace_back();
        c.name = result.name;
        c.classname = "validate";
        c.seconds = result.seconds;
        std::string text;
        for (const std::string& message : result.messages) text += message + "\n";
        suite.out += std::string(CheckStatusText(result.status)) + "  " + result.name + "\n" + text;
        if (result.status != CheckStatus::Fail) continue;
        c.status = JunitCase::Status::Failed;
        c.message = result.messages.empty() ? "the check failed" : result.messages.front();
        c.details = text;
    }
    return suite;
}

}  // namespace Vorn::HostSimulator

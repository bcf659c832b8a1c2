#include "plugin/failure_report.h"

#include <cstdlib>

#include "logging/log_groups.h"
#include "logging/log_message.h"
#include "logging/logger.h"

namespace Vorn {

std::string FailureReportText(const FailureReport& report) {
    std::string text = "Assertion failed!\n\n";
    if (!report.file.empty()) {
        text += "File: ";
        text += report.file;
        text += "\n";
    }
    if (report.line.has_value()) {
        text += "Line: " + std::to_string(*report.line) + "\n\n";
    }
    if (!report.function.empty()) {
        text += "Function: ";
        text += report.function;
        text += "\n\n";
    }
    if (!report.expression.empty()) {
        text += "Expression: ";
        text += report.expression;
    }
    text += "\n\nDescription: ";
    text += report.description;
    return text;
}

void ReportFailureAndAbort(const FailureReport& report) {
    const std::string text = FailureReportText(report);
    Log(kLogError, static_cast<uint32_t>(kLogGroupDBG), 0, "%s", text.c_str());
    std::abort();
}

}  // namespace Vorn

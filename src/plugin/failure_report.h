#pragma once
// The text of a failed assertion, logged as one ERROR line before the process
// ends: "Assertion failed!", then each given part (file, line, function,
// expression) and the description.
#include <optional>
#include <string>
#include <string_view>

namespace Vorn {

struct FailureReport {
    std::string_view file;
    std::optional<int> line;
    std::string_view function;
    std::string_view expression;
    std::string_view description;
};

std::string FailureReportText(const FailureReport& report);

// Logs the text at level ERROR in group bit 0 and ends the process
// abnormally.
[[noreturn]] void ReportFailureAndAbort(const FailureReport& report);

}  // namespace Vorn

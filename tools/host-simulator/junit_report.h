#pragma once
// Reports in the JUnit XML form that CI systems read: one <testsuite> per
// scenario file (or per command), one <testcase> per scenario, check or run.
#include <string>
#include <vector>

namespace Vorn::HostSimulator {

struct JunitCase {
    enum class Status { Passed, Failed, Error };
    std::string name;
    std::string classname;
    double seconds = 0;
    Status status = Status::Passed;
    std::string message;  // the one-line reason of a failure or error
    std::string details;  // its body: the failing step, expected and found
};

struct JunitSuite {
    std::string name;
    std::vector<JunitCase> cases;
    std::string out;  // <system-out>: the trace
};

// The whole document: <testsuites> holding the suites, stamped with the time
// of writing. Texts that XML cannot hold (control characters, bytes that are
// not UTF-8) become U+FFFD.
std::string JunitXml(const std::string& name, const std::vector<JunitSuite>& suites);

// "2026-12-10T09:41:07": the moment as UTC, to the second.
std::string IsoTimestamp(long long secondsSinceEpoch);

}  // namespace Vorn::HostSimulator

#pragma once
// Runs the built vorn-host program (under the emulator on 32-bit builds), for
// the tests where its exit code and output are what counts.
#include <gtest/gtest.h>

#include <string>

#include "file_text.h"
#include "run_program.h"

namespace Vorn::Testing {

struct HostRun {
    int status = -1;  // the exit code; -1 when it did not exit
    std::string out;
    std::string err;
};

inline HostRun RunHostProgram(const std::string& arguments) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string base = ::testing::TempDir() + "vorn_host_" + test->test_suite_name() + "_" + test->name();
    const int status = RunProgram(VORN_TOOL_RUNNER, VORN_HOST_PATH, arguments, {"", base + ".out", base + ".err"});
    return HostRun{status, ReadFileText(base + ".out"), ReadFileText(base + ".err")};
}

}  // namespace Vorn::Testing

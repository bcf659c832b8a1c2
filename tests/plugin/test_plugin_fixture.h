#pragma once
// The test plug-in, loaded and started by a simulated host. Commands go to it
// as Update events of "/test/v1/command"; it answers each with "REPORT
// <json>" log lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_test_helpers.h"

namespace Vorn::Testing {

class TestPluginHost : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(host_.Load(VORN_TEST_PLUGIN_PATH, &error)) << error;
        ASSERT_TRUE(host_.Start());
    }

    // Sends one command and returns the reports it produced.
    std::vector<BindingProperty> Run(std::string_view command) {
        const std::size_t before = host_.LogLines().size();
        host_.Update("/test/v1/command", Json(command));
        return ReportsSince(before);
    }

    // The single report of a command.
    BindingProperty RunOne(std::string_view command) {
        std::vector<BindingProperty> reports = Run(command);
        EXPECT_EQ(reports.size(), 1u) << command;
        return reports.empty() ? BindingProperty() : reports.front();
    }

    std::vector<BindingProperty> ReportsSince(std::size_t firstLine) const {
        std::vector<BindingProperty> reports;
        const auto& lines = host_.LogLines();
        for (std::size_t i = firstLine; i < lines.size(); ++i) {
            if (lines[i].text.rfind("REPORT ", 0) == 0) reports.push_back(Json(lines[i].text.substr(7)));
        }
        return reports;
    }

    Host::SimulatedHost host_;
};

}  // namespace Vorn::Testing

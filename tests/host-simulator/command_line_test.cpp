#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host-simulator/command_line.h"

namespace Vorn::HostSimulator {
namespace {

// Parses the words as vorn-host's command line; the error, or "" when taken.
std::string Parse(std::vector<std::string> words, CommandLine& command) {
    words.insert(words.begin(), "vorn-host");
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    std::string error;
    ParseCommandLine(static_cast<int>(argv.size()), argv.data(), command, error);
    return error;
}

TEST(CommandLine, ReportOptionsTakeTheirFileOrFolder) {
    const struct {
        std::vector<std::string> words;
        const char* error;
    } refused[] = {
        {{"run", "--junit"}, "--junit needs a file"},
        {{"run", "--html", ""}, "--html needs a file"},
        {{"run", "--save-trace"}, "--save-trace needs a folder"},
        {{"run", "--compare-trace", ""}, "--compare-trace needs a folder"},
    };
    for (const auto& c : refused) {
        CommandLine command;
        EXPECT_EQ(Parse(c.words, command), c.error) << c.words.back();
    }
    CommandLine command;
    EXPECT_EQ(Parse({"run", "--junit", "j.xml", "--html", "-page.html", "--save-trace", "s", "--compare-trace",
                     "old", "a.yaml"},
                    command),
              "");
    EXPECT_EQ(command.junit, "j.xml");
    EXPECT_EQ(command.html, "-page.html");
    EXPECT_EQ(command.saveTrace, "s");
    EXPECT_EQ(command.compareTrace, "old");
    EXPECT_EQ(command.operands, std::vector<std::string>{"a.yaml"});
}

}  // namespace
}  // namespace Vorn::HostSimulator

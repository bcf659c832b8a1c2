// Scenario files that cannot run are refused with the file, line and step.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "host-simulator/scenario.h"

namespace Vorn::HostSimulator {
namespace {

std::string Write(const std::string& name, const std::string& text) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string Refusal(const std::string& name, const std::string& text) {
    const std::string path = Write(name, text);
    Scenario scenario;
    ScenarioError error;
    EXPECT_FALSE(LoadScenario(path, scenario, error)) << text;
    std::remove(path.c_str());
    const std::string prefix = path + ":";
    std::string message = error.Text();
    if (message.rfind(prefix, 0) == 0) message = message.substr(prefix.size());
    return message.rfind(' ', 0) == 0 ? message.substr(1) : message;
}

TEST(ScenarioFile, RefusesWhatCannotRun) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"steps:\n  - start\n  - advnce: 10s\n", "3: step 2 (advnce, line 3): unknown step 'advnce'"},
        {"steps:\n  - advance: soon\n",
         "2: step 1 (advance, line 2): a duration such as \"250ms\", \"90s\" or \"10m\" is needed"},
        {"steps:\n  - update: {body: 1}\n", "2: step 1 (update, line 2): 'path' is required"},
        {"steps:\n  - update: {path: /a, bdy: 1}\n", "2: step 1 (update, line 2) has an unknown key 'bdy'"},
        {"steps:\n  - expect-request: {method: FETCH}\n", "2: step 1 (expect-request, line 2): unknown method 'FETCH'"},
        {"steps:\n  - expect-log: {level: DEBUG}\n",
         "2: step 1 (expect-log, line 2): the level is one of OKAY, WARN, ERROR, ALWAYS"},
        {"endpoints:\n  - {path: /a, respond: {body: 1, during: [{advance: 1s}]}}\nsteps: [start]\n",
         "endpoint 1 respond during needs a stream: its steps run while the plug-in reads it"},
        {"endpoints:\n  - {path: /a, respond: {body: 1, stream: 2, during: [stop]}}\nsteps: [start]\n",
         "endpoint 1 respond during: step 1 (stop): only create, update, delete, set, event and advance run during a "
         "read"},
        {"endpoints:\n  - {path: /a, respond: {body: 1, stream: 2, during-read: 2}}\nsteps: [start]\n",
         "endpoint 1 respond during-read needs during"},
        {"steps:\n  - start: now\n", "2: step 1 (start, line 2): takes no arguments"},
        {"steps:\n  - stop: {at: 1}\n", "2: step 1 (stop, line 2): takes no arguments"},
        {"steps:\n  - restart: []\n", "2: step 1 (restart, line 2): takes no arguments"},
        {"steps:\n  - {start: , stop: }\n", "2: step 1 (?, line 2): a step is a map with one key, the step's name"},
        {"stepz: []\n", "the scenario has an unknown key 'stepz'"},
        {"name: x\n", "the scenario has no steps"},
        {"host-version: eighteen\nsteps: []\n", "host-version must be a text such as \"18.0.0\""},
        {"endpoints:\n  - {path: /a}\nsteps: []\n", "endpoint 1 needs respond or respond-sequence"},
        {"endpoints:\n  - {path: /a, respond: {body: 1, stream: 0}}\nsteps: []\n",
         "endpoint 1 respond stream must be a positive number of bytes"},
        {"steps: [start\n", "2:1: YAML parser error: did not find expected ',' or ']'. At line: 1 col: 0"},
        {"steps: [start]\nname: \x01\n", "2:7: YAML parser error: control characters are not allowed. At line: 1 col: 6"},
        {"steps:\n  - event: {name: OnX, payload: 1, hostile: a bool}\n",
         "2: step 1 (event, line 2): payload and hostile exclude each other"},
        {"steps:\n  - event: {name: OnX, data: 1, payload: 1}\n",
         "2: step 1 (event, line 2): 'data' is part of a resource event; a payload replaces it"},
        {"steps:\n  - event: {name: OnX, hostile: a boolean}\n",
         "2: step 1 (event, line 2): no hostile payload named 'a boolean'"},
        {"steps:\n  - expect-memory: {}\n", "2: step 1 (expect-memory, line 2): 'at-most' is required"},
        {"steps:\n  - expect-memory: {at-most: -1}\n", "2: step 1 (expect-memory, line 2): at-most must be a number"},
        {"steps:\n  - expect-log: {whole-run: yes please}\n",
         "2: step 1 (expect-log, line 2): whole-run must be true or false"},
    };
    int index = 0;
    for (const auto& c : cases) {
        EXPECT_EQ(Refusal("refused_" + std::to_string(index++) + ".yaml", c.text), c.error) << c.text;
    }
}

TEST(ScenarioFile, ReadsTheWorldAndTheSteps) {
    const std::string path = Write("world.yaml", R"(name: world
host-version: "18.2.1"
resources:
  /b: 2
  /a: {x: 1}
endpoints:
  - {method: post, path: /e, respond-sequence: [{body: 1}, {status: 503, error: busy}, {body: 2, stream: 7, during: [{advance: 1s}], during-read: 3}]}
steps:
  - start
  - advance: 250ms
  - event: {name: OnX, type: Delete}
  - expect-request: {}
  - start: {}
  - stop: null
  - restart:
)");
    Scenario scenario;
    ScenarioError error;
    ASSERT_TRUE(LoadScenario(path, scenario, error)) << error.Text();
    std::remove(path.c_str());
    EXPECT_EQ(scenario.name, "world");
    EXPECT_EQ(scenario.hostVersion.minor, 2u);
    ASSERT_EQ(scenario.resources.size(), 2u);
    EXPECT_EQ(scenario.resources[0].first, "/a");
    ASSERT_EQ(scenario.endpoints.size(), 1u);
    EXPECT_EQ(scenario.endpoints[0].method, 6u);
    ASSERT_EQ(scenario.endpoints[0].answers.size(), 3u);
    EXPECT_EQ(scenario.endpoints[0].answers[1].status, 503u);
    EXPECT_EQ(scenario.endpoints[0].answers[1].error, "busy");
    EXPECT_EQ(scenario.endpoints[0].answers[2].streamChunk, 7u);
    ASSERT_EQ(scenario.endpoints[0].during.size(), 3u);
    EXPECT_TRUE(scenario.endpoints[0].during[0].steps.empty());
    ASSERT_EQ(scenario.endpoints[0].during[2].steps.size(), 1u);
    EXPECT_EQ(scenario.endpoints[0].during[2].steps[0].duration, 1000000000u);
    EXPECT_EQ(scenario.endpoints[0].during[2].afterRead, 3u);
    ASSERT_EQ(scenario.steps.size(), 7u);
    EXPECT_EQ(scenario.steps[1].duration, 250000000u);
    EXPECT_EQ(scenario.steps[1].line, 10u);
    EXPECT_TRUE(scenario.steps[3].IsExpectation());
    // The bare words may also be written as one-key maps, empty or null.
    EXPECT_EQ(scenario.steps[4].kind, "start");
    EXPECT_EQ(scenario.steps[5].kind, "stop");
    EXPECT_EQ(scenario.steps[6].kind, "restart");
}

}  // namespace
}  // namespace Vorn::HostSimulator

// describe: what a built plug-in's API table says, read as the host reads it,
// as a document and as text, in a child or in this process alike.
#include <gtest/gtest.h>

#include <string>

#include "formats/json_reader.h"
#include "formats/json_writer.h"
#include "host-simulator/api_table_reader.h"
#include "host-simulator/describe.h"
#include "host_program.h"

namespace Vorn::HostSimulator {
namespace {

using Testing::RunHostProgram;

const BindingProperty* Named(const BindingProperty& list, std::string_view name) {
    for (const BindingProperty& entry : list.Elements()) {
        if (entry.GetMember("name").AsString() == name) return &entry;
    }
    return nullptr;
}

BindingProperty Describe(const char* path, bool inProcess = false) {
    DescribeOptions options;
    options.plugin = path;
    options.inProcess = inProcess;
    BindingProperty description;
    std::string error;
    EXPECT_TRUE(DescribePlugin(options, description, error)) << error;
    return description;
}

TEST(Describe, TheTestPluginsTypesAndEventsAsItsTableHasThem) {
    const BindingProperty description = Describe(VORN_TEST_PLUGIN_PATH);
    EXPECT_EQ(description.GetMember("shortName").AsString(), "vorn-test-plugin");
    EXPECT_EQ(description.GetMember("version").AsString(), "18.0.0");
    EXPECT_EQ(description.GetMember("export").AsString(), "load_vorn_test_plugin");
    EXPECT_EQ(description.GetMember("problems").Count(), 0u);
    EXPECT_EQ(description.GetMember("functions").Count(), 0u);

    const BindingProperty* light = Named(description.GetMember("types"), "VornTestPluginLight");
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(light->GetMember("kind").AsString(), "enum");
    EXPECT_EQ(SerializeJson(light->GetMember("enumerators"), nullptr),
              R"([{"description":"","name":"Blinking","value":7},{"description":"","name":"Off","value":0},)"
              R"({"description":"","name":"On","value":1}])")
        << "in name order, with their values";

    const BindingProperty* lamp = Named(description.GetMember("types"), "VornTestPluginLamp");
    ASSERT_NE(lamp, nullptr);
    const BindingProperty& members = lamp->GetMember("members");
    ASSERT_EQ(members.Count(), 4u);
    EXPECT_EQ(members.GetElement(0).GetMember("description").AsString(), "Lamp number");
    EXPECT_EQ(TypeText(members.GetElement(2)), "enum (16) VornTestPluginLight");
    EXPECT_EQ(TypeText(members.GetElement(3)), "vector (15) of uint64 (9)");
    EXPECT_TRUE(members.GetElement(3).GetMember("optional").AsBool());
    EXPECT_LT(members.GetElement(1).GetMember("offset").AsUnsigned(), members.GetElement(2).GetMember("offset").AsUnsigned());

    const BindingProperty* event = Named(description.GetMember("events"), "OnJsonApiEvent");
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(event->GetMember("payloadType").AsString(), "PluginResourceEvent");
    EXPECT_EQ(event->GetMember("nameSpace").AsString(), "vclient");
}

TEST(Describe, InProcessReadsTheSameTable) {
    EXPECT_EQ(SerializeJson(Describe(VORN_FEATURED_MODES_PATH, true), nullptr),
              SerializeJson(Describe(VORN_FEATURED_MODES_PATH), nullptr));
}

TEST(Describe, TextHasALinePerEntry) {
    const std::string text = DescriptionText(Describe(VORN_TEST_PLUGIN_PATH));
    EXPECT_EQ(text.rfind("plugin vorn-test-plugin 18.0.0 (" + std::string(VORN_TEST_PLUGIN_PATH) +
                             ", export load_vorn_test_plugin)\nAPI table: 0 functions, ",
                         0),
              0u)
        << text;
    for (const char* lines : {"\nenum VornTestPluginLight (size 4)\n  Blinking = 7\n  Off = 0\n  On = 1\n",
                              "\n  member id: int64 (8) offset 0 -- Lamp number\n",
                              "\nevent OnJsonApiEvent (vclient) payload PluginResourceEvent -- Fired when a resource "
                              "is changed.\n",
                              "\nevent OnCallback payload BindingCallbackEvent [$builtin] -- Fired when a callback "
                              "is invoked.\n"}) {
        EXPECT_NE(text.find(lines), std::string::npos) << lines << "\nin\n" << text;
    }
}

TEST(DescribeProgram, AnUnsoundTableIsPrintedWithItsFaultsAndFails) {
    const Testing::HostRun run = RunHostProgram(std::string("describe --plugin ") + VORN_WRONG_RECORD_PLUGIN_PATH);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.out.find("\nthe table is not well formed:\n  types: the last of "), std::string::npos) << run.out;

    const Testing::HostRun json = RunHostProgram(std::string("describe --json --plugin ") + VORN_TEST_PLUGIN_PATH);
    EXPECT_EQ(json.status, 0) << json.err;
    BindingResult parsed = DeserializeJson(json.out);
    ASSERT_TRUE(parsed.ok) << parsed.Message();
    EXPECT_NE(Named(parsed.value.GetMember("types"), "VornTestPluginLamp"), nullptr);

    EXPECT_EQ(RunHostProgram("describe --plugin /no/such/plugin.so").status, 2);
}

}  // namespace
}  // namespace Vorn::HostSimulator

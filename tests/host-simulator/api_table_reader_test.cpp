// Reading an API table as a host does: a sound table is described whole, and
// each way a table can be unsound is named as the host would meet it.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "formats/json_writer.h"
#include "host-simulator/api_table_reader.h"

namespace Vorn::HostSimulator {
namespace {

// A lamp structure with an enum member, its enum and one event carrying it,
// linked as a plug-in links them.
struct LampTable {
    ApiMemberEntry members[2] = {};
    ApiEnumeratorEntry enumerators[2] = {};
    ApiTypeEntry types[2] = {};
    ApiEventEntry events[2] = {};
    ApiTable table = {};

    LampTable() {
        members[0] = {&members[1], "id", "Lamp number", 0, 8, 0, "", 0};
        members[1] = {nullptr, "light", "", 8, 16, 0, "Light", 1};
        enumerators[0] = {&enumerators[1], "Off", "", 0};
        enumerators[1] = {nullptr, "On", "", -1};
        types[0] = {&types[1], "Lamp", "", 16, "A lamp", nullptr, 0, members, nullptr, 2};
        types[1] = {nullptr, "Light", "", 4, "", nullptr, 0, nullptr, enumerators, 2};
        events[0] = {&events[1], "OnLamp", "vclient", "Lamp", "", nullptr, 0};
        events[1] = {nullptr, "OnLight", "vclient", "Light", "", nullptr, 0};
        table = {nullptr, 0, types, 2, events, 2};
    }
};

TEST(ApiTableReader, ASoundTableIsDescribedWhole) {
    const LampTable lamp;
    const ApiTableReading reading = ReadApiTable(lamp.table);
    EXPECT_TRUE(reading.problems.empty()) << reading.problems.front();
    EXPECT_EQ(SerializeJson(reading.description, nullptr),
              R"({"events":[{"description":"","name":"OnLamp","nameSpace":"vclient","payloadType":"Lamp","tags":[]},)"
              R"({"description":"","name":"OnLight","nameSpace":"vclient","payloadType":"Light","tags":[]}],)"
              R"("functions":[],"types":[{"description":"A lamp","enumerators":[],"kind":"structure","members":[)"
              R"({"describedType":"","description":"Lamp number","elementType":0,"elementTypeName":"","name":"id",)"
              R"("offset":0,"optional":false,"type":8,"typeName":"int64"},)"
              R"({"describedType":"Light","description":"","elementType":0,"elementTypeName":"","name":"light",)"
              R"("offset":8,"optional":true,"type":16,"typeName":"enum"}],"name":"Lamp","nameSpace":"","size":16,)"
              R"("tags":[]},{"description":"","enumerators":[{"description":"","name":"Off","value":0},)"
              R"({"description":"","name":"On","value":-1}],"kind":"enum","members":[],"name":"Light",)"
              R"("nameSpace":"","size":4,"tags":[]}]})");
    const BindingProperty& light = reading.description.GetMember("types").GetElement(0).GetMember("members").GetElement(1);
    EXPECT_EQ(TypeText(light), "enum (16) Light");
}

TEST(ApiTableReader, EachUnsoundTableIsNamed) {
    const std::string unterminated(1u << 20, 'x');
    const struct {
        const char* description;
        std::function<void(LampTable&)> breakIt;
        std::vector<std::string> problems;
    } cases[] = {
        {"a link that skips", [](LampTable& t) { t.types[0].next = nullptr; }, {"types: record 0 does not link to record 1"}},
        {"a count one short",
         [](LampTable& t) { t.table.eventCount = 1; },
         {"events: the last of 1 records links to another (the list is longer than the count)"}},
        {"a count without its array",
         [](LampTable& t) { t.types[0].members = nullptr; t.types[0].enumerators = nullptr; },
         {"type Lamp: a count of 2 but neither members nor enumerators"}},
        {"records but no array",
         [](LampTable& t) { t.table.functionCount = 3; },
         {"functions: 3 records but no array"}},
        {"a count no table comes near",
         [](LampTable& t) { t.table.typeCount = 0x7FFFFFFF; },
         {"types: a count of 2147483647 is not plausible",
          "event OnLamp payload names the type 'Lamp', which the table does not describe",
          "event OnLight payload names the type 'Light', which the table does not describe"}},
        {"a null text", [](LampTable& t) { t.members[0].description = nullptr; },
         {"type Lamp member 0 description is null"}},
        {"an unterminated text", [&](LampTable& t) { t.enumerators[1].name = unterminated.c_str(); },
         {"type Light enumerator 1 name is not NUL-terminated within 1 MiB"}},
        {"two types of one name", [](LampTable& t) { t.types[1].name = "Lamp"; },
         {"type 1: the name 'Lamp' is also that of record 0",
          "type Lamp member 1 names the type 'Light', which the table does not describe",
          "event OnLight payload names the type 'Light', which the table does not describe"}},
        {"two events of one name", [](LampTable& t) { t.events[1].name = "OnLamp"; },
         {"event 1: the name 'OnLamp' is also that of record 0"}},
        {"an empty type name", [](LampTable& t) { t.types[0].name = ""; },
         {"type 0 has an empty name", "event OnLamp payload names the type 'Lamp', which the table does not describe"}},
        {"a type code past the last", [](LampTable& t) { t.members[0].elementType = 20; },
         {"type Lamp member 0: type code 20 is outside 0-19"}},
        {"members and enumerators both", [](LampTable& t) { t.types[1].members = t.members; },
         {"type Light has both members and enumerators"}},
    };
    for (const auto& c : cases) {
        LampTable lamp;
        c.breakIt(lamp);
        std::vector<std::string> steps;
        const ApiTableReading reading = ReadApiTable(lamp.table, [&](const std::string& step) { steps.push_back(step); });
        EXPECT_EQ(reading.problems, c.problems) << c.description;
        EXPECT_FALSE(steps.empty()) << c.description;
    }
}

TEST(ApiTableReader, BoundedTextStopsAtTheLimit) {
    EXPECT_EQ(BoundedText("lamp"), "lamp");
    EXPECT_EQ(BoundedText(""), "");
    EXPECT_EQ(BoundedText(nullptr), std::nullopt);
    const std::string longest((1u << 20) - 1, 'x');
    EXPECT_EQ(BoundedText(longest.c_str())->size(), longest.size());
}

}  // namespace
}  // namespace Vorn::HostSimulator

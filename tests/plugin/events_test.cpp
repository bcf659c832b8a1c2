// Resource events: host subscriptions by event name with counts, the initial
// state as a Create event, routing by uri to exact and pattern handlers,
// typed data, and payloads that must be dropped.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "binding/binding_limits.h"
#include "binding/flat_value.h"
#include "test_plugin_fixture.h"

namespace Vorn::Testing {
namespace {

using Events = TestPluginHost;

int HostSubscriptions(const Host::SimulatedHost& host, const std::string& name, bool subscribe) {
    int count = 0;
    for (const Host::RecordedSubscription& s : host.Subscriptions()) count += s.eventName == name && s.subscribe == subscribe;
    return count;
}

TEST_F(Events, AnExactPathStartsFromItsCurrentState) {
    host_.SetResource("/things/v1/box", Json(R"({"size":3})"));
    EXPECT_EQ(Compact(RunOne(R"({"action":"observe","path":"/things/v1/box"})")),
              R"({"data":{"size":3},"handler":"value","type":0,"uri":"/things/v1/box"})");
    EXPECT_TRUE(Run(R"({"action":"observe","path":"/things/v1/absent"})").empty())
        << "a failed initial fetch delivers nothing";
    host_.Update("/things/v1/absent", Json("[1]"));
    ASSERT_FALSE(host_.LogLines().empty());
    EXPECT_EQ(host_.LogLines().back().text,
              R"(REPORT {"data":[1],"handler":"value","type":1,"uri":"/things/v1/absent"})")
        << "the handler stays registered for later events";
}

TEST_F(Events, OneHostSubscriptionPerEventNameWithCounts) {
    Run(R"({"action":"trace"})");
    Run(R"({"action":"observe","path":"/a/b/c/d/e"})");
    Run(R"({"action":"observe","path":"/a/b/c/x"})");
    EXPECT_EQ(HostSubscriptions(host_, "OnJsonApiEvent_a_b_c", true), 1);
    Run(R"({"action":"unsubscribe","path":"/a/b/c/d/e"})");
    EXPECT_EQ(HostSubscriptions(host_, "OnJsonApiEvent_a_b_c", false), 0);
    Run(R"({"action":"unsubscribe","path":"/a/b/c/x"})");
    EXPECT_EQ(HostSubscriptions(host_, "OnJsonApiEvent_a_b_c", false), 1);
    Run(R"({"action":"unsubscribe","path":"/a/b/c/x"})");
    EXPECT_EQ(HostSubscriptions(host_, "OnJsonApiEvent_a_b_c", false), 1) << "no count below zero";
    EXPECT_EQ(RunOne(R"({"action":"describe","event":"OnJsonApiEvent_a_b_c"})").GetMember("count").AsSigned(), 0);
    for (const char* change : {"Subscribing", "Unsubscribing"}) {
        EXPECT_EQ(LogLinesWith(host_, 0, std::string("TRACE vorn-test-plugin: ") + change +
                                             " to event: OnJsonApiEvent_a_b_c")
                      .size(),
                  1u);
    }
    host_.Stop();
    EXPECT_EQ(HostSubscriptions(host_, "OnJsonApiEvent_a_b_c", false), 1) << "stop leaves what is unsubscribed";
}

TEST_F(Events, PatternsAndUrisWithoutALeadingSlash) {
    Run(R"({"action":"observe","path":"/p/v1/n/*"})");
    Run(R"({"action":"observe","path":"/p/v1/n/4*"})");
    EXPECT_TRUE(RequestsTo(host_, kHostMethodGet, "/p/v1/n/*").empty()) << "patterns are not fetched";
    const std::string name = "OnJsonApiEvent_p_v1_n";
    const struct {
        const char* uri;
        std::size_t handlers;  // every matching pattern's
    } cases[] = {{"/p/v1/n/42", 2}, {"p/v1/n/43", 2}, {"/p/v1/n/5", 1}, {"/p/v1/n/", 0}, {"/p/v1/n/42/x", 0}};
    for (const auto& c : cases) {
        const std::size_t before = host_.LogLines().size();
        ASSERT_EQ(host_.DeliverResourceEvent(name, c.uri, Host::EventType::Update, Json("7")), 1);
        const auto reports = ReportsSince(before);
        ASSERT_EQ(reports.size(), c.handlers) << c.uri;
        for (const BindingProperty& report : reports) EXPECT_EQ(report.GetMember("uri").AsString()[0], '/') << c.uri;
    }
}

TEST_F(Events, TypedHandlersConvertAndDeleteGivesDefaults) {
    host_.SetResource("/lamps/v1/one", Json(R"({"id":4,"light":"On","name":"porch"})"));
    EXPECT_EQ(Compact(RunOne(R"({"action":"observe","path":"/lamps/v1/one","type":"record"})").GetMember("data")),
              R"({"history":[],"id":4,"light":1,"name":"porch"})");
    std::size_t before = host_.LogLines().size();
    host_.Delete("/lamps/v1/one");
    auto reports = ReportsSince(before);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(Compact(reports[0]), R"({"data":{"history":[],"id":0,"light":0,"name":""},"handler":"lamp","type":2,)"
                                   R"("uri":"/lamps/v1/one"})");
    // Data that does not convert to the handler's type never reaches it;
    // only the trace tells.
    Run(R"({"action":"trace"})");
    before = host_.LogLines().size();
    host_.Update("/lamps/v1/one", Json(R"({"id":"not a number"})"));
    EXPECT_TRUE(ReportsSince(before).empty());
    EXPECT_EQ(LogLinesWith(host_, 0, "TRACE Couldn't convert resource ").size(), 1u);
    EXPECT_EQ(LogLinesWith(host_, 0, " to C++ while handling update for URL: /lamps/v1/one").size(), 1u);
}

TEST_F(Events, HostilePayloadsAreDroppedWithOneErrorLine) {
    Run(R"({"action":"keep-groups","groups":["DBG"]})");  // the group of the runtime's lines below
    const std::string name = "OnJsonApiEvent_test_v1_command";
    BindingFlatValue unknownKind{};
    unknownKind.kind = 99;
    host_.DeliverFlatEvent(name.c_str(), unknownKind);
    EXPECT_EQ(LogLinesWith(host_, 2, "vorn-test-plugin: Couldn't convert payload PluginResourceEvent for event "
                                     "OnJsonApiEvent_test_v1_command: ")
                  .size(),
              1u);
    // Dropping leaks nothing.
    const auto inUse = [this] {
        const PluginMemoryStatistics statistics = host_.MemoryStatistics();
        return statistics.counters[2] - statistics.counters[4];
    };
    const uint64_t held = inUse();
    for (int i = 0; i < 10; ++i) host_.DeliverFlatEvent(name.c_str(), unknownKind);
    EXPECT_EQ(inUse(), held);
    // Well-formed payloads that are no resource event or service-proxy answer.
    host_.DeliverEvent(name, Json(R"({"uri":"/test/v1/command","eventType":"Sideways"})"));
    host_.DeliverEvent("OnServiceProxyUuidEvent", Json("[1]"));
    EXPECT_EQ(LogLinesWith(host_, 2, "Couldn't convert payload PluginResourceEvent for event").size(), 12u);
    EXPECT_EQ(LogLinesWith(host_, 2, "vorn-test-plugin: Couldn't convert payload PluginServiceProxyResponse for event "
                                     "OnServiceProxyUuidEvent: ")
                  .size(),
              1u);

    // A structure whose uri and member name texts are null: read as empty.
    BindingFlatMember members[2] = {};
    members[0].name = nullptr;
    BindingFlatValue nullText{};
    nullText.kind = kFlatBorrowedString;
    nullText.payload.string.text = nullptr;
    nullText.payload.string.length = 12;
    std::memcpy(&members[0].value, &nullText, sizeof(nullText));
    members[1].name = "uri";
    std::memcpy(&members[1].value, &nullText, sizeof(nullText));
    BindingFlatValue structure{};
    structure.kind = kFlatStructure;
    structure.payload.structure.members = members;
    structure.payload.structure.count = 2;
    const std::size_t before = host_.LogLines().size();
    host_.DeliverFlatEvent(name.c_str(), structure);
    host_.DeliverFlatEvent(nullptr, structure);
    // Records without their event name or user word, to subscribed functions.
    for (const char* event : {name.c_str(), "OnServiceProxyUuidEvent"}) {
        for (Host::RecordFault fault : {Host::RecordFault::NullName, Host::RecordFault::NullUser}) {
            EXPECT_EQ(host_.DeliverFlatEvent(event, structure, fault), 1) << event;
            EXPECT_NE(host_.Trace().back().find(fault == Host::RecordFault::NullName ? " without its name"
                                                                                   : " without its user word"),
                      std::string::npos)
                << host_.Trace().back();
        }
    }
    EXPECT_TRUE(ReportsSince(before).empty());

    // Nesting beyond the limit: 600 collections, each holding the next.
    std::vector<BindingFlatValue> chain(600);
    for (std::size_t i = 0; i < chain.size(); ++i) {
        chain[i].kind = kFlatCollection;
        chain[i].payload.collection.items = i + 1 < chain.size() ? &chain[i + 1] : nullptr;
        chain[i].payload.collection.count = i + 1 < chain.size() ? 1 : 0;
    }
    host_.DeliverFlatEvent(name.c_str(), chain[0]);
    EXPECT_EQ(LogLinesWith(host_, 2, "Couldn't convert payload PluginResourceEvent").size(), 13u);
    EXPECT_TRUE(LogLinesWith(host_, 2, "failed").empty()) << "nothing threw";
    EXPECT_EQ(Run(R"({"action":"describe"})").size(), 1u) << "still working";
}

// Typed handlers read an event's data from the host's record; a handler of
// the event as it is gets the same data, whichever runs first.
TEST_F(Events, TypedAndUntypedHandlersOfOneEventSeeTheSameData) {
    Run(R"({"action":"trace"})");
    Run(R"({"action":"observe","path":"/y/v1/typed","type":"record"})");
    Run(R"({"action":"observe","path":"/y/v1/t*","type":"event"})");
    Run(R"({"action":"observe","path":"/y/v1/untyped","type":"event"})");
    Run(R"({"action":"observe","path":"/y/v1/u*","type":"record"})");
    const struct {
        const char* name;
        const char* uri;
        const char* data;
        std::vector<std::string> reports;  // handler: data, in order
    } cases[] = {
        {"typed", "/y/v1/typed", R"({"id":5,"light":"On","extra":[1]})",
         {R"(lamp {"history":[],"id":5,"light":1,"name":""})", R"(event {"extra":[1],"id":5,"light":"On"})"}},
        {"typed", "y/v1/typed", R"({"id":6})", {R"(lamp {"history":[],"id":6,"light":0,"name":""})", R"(event {"id":6})"}},
        {"untyped", "/y/v1/untyped", R"({"id":7,"name":"hall"})",
         {R"(event {"id":7,"name":"hall"})", R"(lamp {"history":[],"id":7,"light":0,"name":"hall"})"}},
        {"typed", "/y/v1/typed", R"({"id":"eight"})", {R"(event {"id":"eight"})"}},  // the lamp does not convert
    };
    for (const auto& c : cases) {
        const std::size_t traces = LogLinesWith(host_, 0, "TRACE Couldn't convert resource ").size();
        const std::size_t before = host_.LogLines().size();
        host_.DeliverResourceEvent(std::string("OnJsonApiEvent_y_v1_") + c.name, c.uri, Host::EventType::Update,
                                   Json(c.data));
        std::vector<std::string> reports;
        for (const BindingProperty& report : ReportsSince(before)) {
            reports.push_back(std::string(report.GetMember("handler").AsString()) + " " +
                              Compact(report.GetMember("data")));
        }
        EXPECT_EQ(reports, c.reports) << c.uri << " " << c.data;
        EXPECT_EQ(LogLinesWith(host_, 0, "TRACE Couldn't convert resource ").size(),
                  traces + (c.reports.size() == 1 ? 1 : 0))
            << c.uri << " " << c.data;
    }

    // A host that re-enters with another event while one is delivered (here
    // while the command's request streams) leaves the outer event's data to
    // its later handlers, whether the inner data was left flat or not.
    Run(R"({"action":"observe","path":"/test/v1/c*","type":"event"})");
    const char* command = R"({"action":"request","path":"/s/slow","result":"value"})";
    for (const char* inner : {R"({"id":9})", "null"}) {
        host_.SetEndpoint(kHostMethodGet, "/s/slow", [this, inner](const Host::RecordedRequest&) {
            Host::Answer answer = Host::Answer::Streamed(Json("[1]"), 1);
            answer.during = [this, inner] {
                host_.DeliverResourceEvent("OnJsonApiEvent_y_v1_untyped", "/y/v1/untyped", Host::EventType::Update,
                                           Json(inner));
            };
            return answer;
        });
        const std::vector<BindingProperty> reports = Run(command);
        ASSERT_FALSE(reports.empty()) << inner;
        EXPECT_EQ(Compact(reports.front().GetMember("data")), Compact(Json(inner)));
        EXPECT_EQ(std::string(reports.back().GetMember("handler").AsString()) + " " +
                      Compact(reports.back().GetMember("data")),
                  std::string("event ") + command)
            << inner;
    }
}

// An event's data is read straight into the record when its payload names
// it once; repeated names, failures and the nesting limit keep the rules of
// reading the payload whole.
TEST_F(Events, DataReadStraightKeepsTheRulesOfTheWholePayload) {
    Run(R"({"action":"keep-groups","groups":["DBG"]})");
    Run(R"({"action":"observe","path":"/x/v1/data"})");
    const char* name = "OnJsonApiEvent_x_v1_data";
    auto text = [](const char* t) {
        BindingFlatValue v{};
        v.kind = kFlatBorrowedString;
        v.payload.string.text = t;
        v.payload.string.length = static_cast<uint32_t>(std::strlen(t));
        return v;
    };
    auto member = [](const char* memberName, const BindingFlatValue& value) {
        BindingFlatMember m{};
        m.name = memberName;
        StoreMemberValue(m, value);
        return m;
    };
    auto structure = [](std::vector<BindingFlatMember>& members) {
        BindingFlatValue v{};
        v.kind = kFlatStructure;
        v.payload.structure.members = members.data();
        v.payload.structure.count = static_cast<uint32_t>(members.size());
        return v;
    };
    std::vector<BindingFlatMember> first = {member("a", text("1")), member("b", text("first"))};
    std::vector<BindingFlatMember> second = {member("b", text("second")), member("c", text("3"))};
    // Chains of collections, each holding the next, depth deep.
    std::vector<std::vector<BindingFlatValue>> chains;
    chains.reserve(2);
    auto chainOf = [&chains](std::size_t depth) {
        std::vector<BindingFlatValue>& chain = chains.emplace_back(depth);
        for (std::size_t i = 0; i < depth; ++i) {
            chain[i].kind = kFlatCollection;
            chain[i].payload.collection.items = i + 1 < depth ? &chain[i + 1] : nullptr;
            chain[i].payload.collection.count = i + 1 < depth ? 1 : 0;
        }
        return chain[0];
    };
    BindingFlatValue unknownKind{};
    unknownKind.kind = 99;
    // The data and nine members more: more than the few an event record has.
    auto among = [&](const BindingFlatMember& last) {
        std::vector<BindingFlatMember> all = {member("data", text("t"))};
        for (const char* other : {"o1", "o2", "o3", "o4", "o5", "o6", "o7", "o8"}) all.push_back(member(other, text("x")));
        all.push_back(last);
        return all;
    };
    const struct {
        const char* description;
        std::vector<BindingFlatMember> payload;
        const char* data;  // as reported; null: dropped with an error line
        uint32_t claimed = 0;  // the member count the record claims, when not its own
    } cases[] = {
        {"once", {member("data", structure(first)), member("eventType", text("Update")), member("uri", text("/x/v1/data"))},
         R"({"a":"1","b":"first"})"},
        {"first of all", {member("uri", text("/x/v1/data")), member("data", text("t"))}, R"("t")"},
        {"twice: structures merge, the later member wins",
         {member("data", structure(first)), member("uri", text("/x/v1/data")), member("data", structure(second))},
         R"({"a":"1","b":"second","c":"3"})"},
        {"as deep as the limit allows", {member("uri", text("/x/v1/data")), member("data", chainOf(kMaxNestingDepth - 1))},
         ""},
        {"one level deeper", {member("uri", text("/x/v1/data")), member("data", chainOf(kMaxNestingDepth))}, nullptr},
        {"an unknown kind", {member("uri", text("/x/v1/data")), member("data", unknownKind)}, nullptr},
        {"another member fails", {member("data", text("t")), member("eventType", text("Sideways")),
                                  member("uri", text("/x/v1/data"))}, nullptr},
        {"more members claimed than any array holds", {member("data", text("t"))}, nullptr, UINT32_MAX},
        {"among many other members", among(member("uri", text("/x/v1/data"))), R"("t")"},
        {"among many other members, the last fails", among(member("eventType", text("Sideways"))), nullptr},
    };
    auto deliver = [&](const auto& c) {
        std::vector<BindingFlatMember> payload = c.payload;
        BindingFlatValue record = structure(payload);
        if (c.claimed != 0) record.payload.structure.count = c.claimed;
        host_.DeliverFlatEvent(name, record);
    };
    for (const auto& c : cases) {
        const std::size_t before = host_.LogLines().size();
        const std::size_t errors = LogLinesWith(host_, 2, "Couldn't convert payload PluginResourceEvent").size();
        deliver(c);
        const auto reports = ReportsSince(before);
        if (c.data == nullptr) {
            EXPECT_TRUE(reports.empty()) << c.description;
            EXPECT_EQ(LogLinesWith(host_, 2, "Couldn't convert payload PluginResourceEvent").size(), errors + 1)
                << c.description;
        } else {
            ASSERT_EQ(reports.size(), 1u) << c.description;
            if (*c.data != '\0') {
                EXPECT_EQ(Compact(reports[0].GetMember("data")), c.data) << c.description;
            }
        }
    }
    // Neither way keeps anything of an event, delivered or dropped.
    const auto inUse = [this] {
        const PluginMemoryStatistics statistics = host_.MemoryStatistics();
        return statistics.counters[2] - statistics.counters[4];
    };
    const uint64_t held = inUse();
    for (int round = 0; round < 3; ++round) {
        for (const auto& c : cases) deliver(c);
    }
    EXPECT_EQ(inUse(), held);
}

}  // namespace
}  // namespace Vorn::Testing

// The decision, the posted notification and its removal, driven through the
// simulated host against the loaded library.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "featured_modes_world.h"

namespace Vorn::Testing {
namespace {

constexpr uint64_t kOn = 1000000000000ull;  // 2001-09-09
// Later than any posting time of a run: the time rule lets every decision
// through, so only the shown flag keeps a second notification away.
constexpr uint64_t kLaterOn = 4102444800000ull;  // 2100-01-01
constexpr uint64_t kHour = 3600000;
constexpr uint64_t kThreshold = 2880 * 60000ull;  // the default, 48 hours

using Notification = FeaturedModesWorld;

TEST_F(Notification, ASwitchedOnFeaturedModeIsAnnouncedOnce) {
    LoadAndStart();
    MakeReady();
    QueuesUpdate("[" + FeaturedQueue(1200, kLaterOn) + "]");
    const auto posts = Posts();
    ASSERT_EQ(posts.size(), 1u);
    ASSERT_EQ(posts[0]->parameters.size(), 1u);
    EXPECT_EQ(Compact(posts[0]->parameters[0].value),
              R"({"backgroundUrl":"/bg/x.jpg","critical":false,"data":{"gameMode":"XMODE","gameModeName":"Example Mode",)"
              R"("queues":"[{\"category\":\"PvP\",\"gameMode\":\"XMODE\",\"gameMutator\":\"\",\"id\":1200,)"
              R"(\"lastToggledOffTime\":0,\"lastToggledOnTime\":4102444800000,\"mapId\":12,\"name\":\"Example\",)"
              R"(\"queueAvailability\":\"Available\"}]"},"detailKey":"notifications_rgm_details","expires":"",)"
              R"("iconUrl":"/icons/x.png","id":0,"source":"rgm","state":"","titleKey":"notifications_rgm_title_XMODE",)"
              R"("type":"mode_enabled"})");
    // The eligibility request names the summoner (unsigned 64-bit) and the
    // featured queues (signed 32-bit).
    const auto asked = RequestsTo(host_, kHostMethodGet, kEligibilityPath);
    ASSERT_EQ(asked.size(), 1u);
    ASSERT_EQ(asked[0]->parameters.size(), 2u);
    EXPECT_EQ(Compact(asked[0]->parameters[0].value), "[42]");
    EXPECT_EQ(Compact(asked[0]->parameters[1].value), "[1200]");
    EXPECT_EQ(asked[0]->parameters[0].value.GetElement(0).Kind(), BindingKind::Unsigned);
    EXPECT_EQ(asked[0]->parameters[1].value.GetElement(0).Kind(), BindingKind::Signed);
    // Shown: later triggers post nothing more, although the time rule would
    // let them through.
    host_.Update("/qel-gameflow/v1/session", Json(R"({"phase":"None"})"));
    QueuesUpdate("[" + FeaturedQueue(1200, kLaterOn) + "]");
    EXPECT_EQ(Posts().size(), 1u);
}

// An event the host delivers while a decision step waits for an answer asks
// for a step of its own: it runs once the current one is done, and is not
// lost when that one posts nothing (here the first answer calls the queue
// ineligible, the second, to the step the event asked for, eligible).
TEST_F(Notification, AnEventDuringADecisionStepIsDecidedAfterIt) {
    LoadAndStart();
    MakeReady();
    auto asked = std::make_shared<int>(0);
    host_.SetEndpoint(kHostMethodGet, kEligibilityPath, [this, asked](const Host::RecordedRequest&) {
        const bool first = (*asked)++ == 0;
        const char* body = first ? R"([{"queueId":1200,"eligible":false}])" : R"([{"queueId":1200,"eligible":true}])";
        Host::Answer answer = Host::Answer::Streamed(Json(body), 8);
        if (first) {
            answer.during = [this] { host_.Update("/qel-gameflow/v1/session", Json(R"({"phase":"None"})")); };
        }
        return answer;
    });
    QueuesUpdate("[" + FeaturedQueue(1200, kLaterOn) + "]");
    EXPECT_EQ(*asked, 2);
    EXPECT_EQ(Posts().size(), 1u);
    EXPECT_EQ(host_.MissedDuringCount(), 0u);
}

TEST_F(Notification, EachGateHoldsItBack) {
    const struct {
        const char* description;
        void (*breakWorld)(World&, Host::SimulatedHost&);
    } cases[] = {
        {"notifications disabled",
         [](World&, Host::SimulatedHost& host) {
             host.SetResource("/qel-platform-config/v1/namespaces/FeaturedModes",
                              Json(R"({"NotificationsEnabled":false})"));
         }},
        {"no configuration", [](World&, Host::SimulatedHost& host) {
             host.RemoveResource("/qel-platform-config/v1/namespaces/FeaturedModes");
         }},
        {"nobody logged in", [](World&, Host::SimulatedHost& host) {
             host.SetResource("/qel-login/v1/session", Json(R"({"state":"IN_PROGRESS","summonerId":42,"accountId":7})"));
         }},
        {"no account id", [](World&, Host::SimulatedHost& host) {
             host.SetResource("/qel-login/v1/session", Json(R"({"state":"SUCCEEDED","summonerId":42})"));
         }},
        {"not eligible", [](World& world, Host::SimulatedHost&) { world.SetEligible({}); }},
        {"eligibility fails", [](World&, Host::SimulatedHost& host) {
             host.SetEndpoint(kHostMethodGet, kEligibilityPath,
                              [](const Host::RecordedRequest&) { return Host::Answer::Error(500, "down"); });
         }},
        {"map not featured", [](World& world, Host::SimulatedHost&) {
             world.SetMap("/qel-maps/v2/map/12/XMODE", R"({"isRGM":false})");
         }},
        {"map request fails", [](World&, Host::SimulatedHost& host) {
             host.RemoveResource("/qel-maps/v2/map/12/XMODE");
         }},
        {"map without isRGM", [](World& world, Host::SimulatedHost&) {
             world.SetMap("/qel-maps/v2/map/12/XMODE", R"({"gameModeName":"Example Mode"})");
         }},
        {"eligibility without a verdict", [](World&, Host::SimulatedHost& host) {
             host.SetEndpoint(kHostMethodGet, kEligibilityPath, [](const Host::RecordedRequest&) {
                 return Host::Answer::Body(Json(R"([{"queueId":1200}])"));
             });
         }},
        {"no summoner id", [](World&, Host::SimulatedHost& host) {
             host.SetResource("/qel-login/v1/session", Json(R"({"state":"SUCCEEDED","accountId":7})"));
         }},
    };
    for (const auto& c : cases) {
        World world;
        c.breakWorld(world, world.host_);
        world.LoadAndStart();
        world.MakeReady();
        world.QueuesUpdate("[" + FeaturedQueue(1200, kOn) + "]");
        EXPECT_TRUE(world.Posts().empty()) << c.description;
    }
}

// What the service waits for comes from Updates only: each resource is in the
// store before start, so its initial fetch arrives as a Create, which these
// handlers ignore; its Update is withheld, or taken back.
TEST_F(Notification, ReadinessComesFromUpdatesOnly) {
    const std::string queues = "[" + FeaturedQueue(1200, kLaterOn) + "]";
    const struct {
        const char* path;
        std::string stored;
        const char* takenBack;  // an Update after the others; null: the path's Update is withheld
        bool posts;
    } cases[] = {
        {"/qel-settings/v2/ready", "{}", nullptr, false},
        {"/qel-queue-eligibility/v1/initial-configuration-complete", "true", nullptr, false},
        {"/qel-queue-eligibility/v1/initial-configuration-complete", "true", "false", false},
        {"/qel-gameflow/v1/availability", R"({"isAvailable":true})", nullptr, false},
        {"/qel-gameflow/v1/availability", R"({"isAvailable":true})", R"({"state":"Available"})", false},
        {"/qel-gameflow/v1/session", R"({"phase":"ChampSelect"})", nullptr, true},  // still None
        {kQueuesPath, queues, nullptr, false},
    };
    for (const auto& c : cases) {
        World world;
        world.host_.SetResource(c.path, Json(c.stored));
        world.LoadAndStart();
        world.MakeReady("None", c.takenBack == nullptr ? c.path : "");
        if (c.takenBack != nullptr) world.host_.Update(c.path, Json(c.takenBack));
        if (c.path != std::string(kQueuesPath)) world.QueuesUpdate(queues);
        EXPECT_EQ(world.Posts().size(), c.posts ? 1u : 0u) << c.path << " " << (c.takenBack ? c.takenBack : "");
    }
}

TEST_F(Notification, BusyPhasesSendNoRequestAtAll) {
    for (const char* phase : {"Matchmaking", "ChampSelect", "InProgress", "ReadyCheck", "EndOfGame"}) {
        World world;
        world.LoadAndStart();
        world.MakeReady(phase);
        world.QueuesUpdate("[" + FeaturedQueue(1200, kOn) + "]");
        const std::size_t before = world.RequestCount();
        world.host_.Update("/qel-gameflow/v1/session", Json(std::string(R"({"phase":")") + phase + "\"}"));
        EXPECT_EQ(world.RequestCount(), before) << phase;
        EXPECT_TRUE(world.Posts().empty()) << phase;
    }
}

TEST_F(Notification, TimeRule) {
    const struct {
        const char* description;
        std::optional<uint64_t> last;  // none: nothing stored, never notified
        std::vector<std::pair<uint64_t, uint64_t>> queues;  // (on, off) of each featured queue
        bool posts;
        uint32_t thresholdMinutes = 0;  // 0: the default
    } cases[] = {
        {"off long before on", 0, {{kOn, kOn - 1000000000ull}}, true},
        {"off an hour, but long after the last notification", 0, {{kOn, kOn - kHour}}, true},
        {"both too close", 999999000000ull, {{kOn, 999999500000ull}}, false},
        {"last notification at the switch-on", kOn, {{kOn, 0}}, false},
        {"last notification after the switch-on", kOn + 1, {{kOn, 0}}, false},
        {"last notification just before the switch-on", kOn - 1, {{kOn, 0}}, true},
        {"nothing stored, switched on at 1", std::nullopt, {{1, kThreshold}}, true},
        {"on exactly the threshold after off", kOn - 1, {{kOn, kOn - kThreshold}}, true},
        {"on just short of the threshold after off", kOn - 1, {{kOn, kOn - kThreshold + 1}}, false},
        {"off exactly the threshold after the last", kOn - 1 - kThreshold, {{kOn, kOn - 1}}, true},
        {"off just short of the threshold after the last", kOn - kThreshold, {{kOn, kOn - 1}}, false},
        // Unsigned, these differences would wrap into huge ones.
        {"off after on", kOn - 1, {{kOn, kOn + 5}}, false},
        {"off before the last notification", kOn - 1, {{kOn, kOn - 100}}, false},
        // The earliest times over all featured queues, not of one queue.
        {"an earlier switch-on of another queue", kOn, {{kOn + kThreshold, 0}, {kOn, 0}}, false},
        {"an earlier switch-off of another queue", kOn - 1, {{kOn, kOn - kHour}, {kOn + 5, kOn - kThreshold}}, true},
        {"a configured threshold of an hour", 999999000000ull, {{kOn, kOn - kHour}}, true, 60},
        // 71,583 minutes in milliseconds do not fit 32 bits: wrapped, the
        // threshold would be 12.7 s and let this queue through.
        {"a threshold beyond 32 bits", 999999000000ull, {{kOn, kOn - kHour}}, false, 71583},
    };
    for (const auto& c : cases) {
        World world;
        if (c.last) {
            world.host_.SetResource(kSettingsPath, Json("{\"data\":{\"rgmNotificationTimestamp\":" +
                                                        std::to_string(*c.last) + "},\"schemaVersion\":1}"));
        }
        if (c.thresholdMinutes != 0) {
            world.host_.SetResource(kConfigPath, Json("{\"QueueToggleNotificationMinutesThreshold\":" +
                                                      std::to_string(c.thresholdMinutes) + "}"));
        }
        std::string queues;
        int id = 1200;
        for (const auto& [on, off] : c.queues) queues += (queues.empty() ? "[" : ",") + FeaturedQueue(id++, on, off);
        world.LoadAndStart();
        world.MakeReady();
        // The earliest times of an earlier update are forgotten.
        world.QueuesUpdate("[" + FeaturedQueue(999, 0, 0) + "]");
        world.QueuesUpdate(queues + "]");
        EXPECT_EQ(world.Posts().size(), c.posts ? 1u : 0u) << c.description;
    }
}

TEST_F(Notification, LobbyLeadership) {
    host_.SetResource(kLobbyPath, Json(R"({"localMember":{"isLeader":false}})"));
    LoadAndStart();
    MakeReady("Lobby");
    QueuesUpdate("[" + FeaturedQueue(1200, kOn) + "]");
    EXPECT_EQ(RequestsTo(host_, kHostMethodGet, kLobbyPath).size(), 1u);
    EXPECT_TRUE(RequestsTo(host_, kHostMethodGet, kEligibilityPath).empty()) << "a non-leader is not asked about";
    EXPECT_TRUE(Posts().empty());

    host_.SetResource(kLobbyPath, Json(R"({"localMember":{"isLeader":true}})"));
    host_.Update("/qel-gameflow/v1/session", Json(R"({"phase":"Lobby"})"));
    EXPECT_EQ(Posts().size(), 1u);
}

TEST_F(Notification, AnUnreadableLobbyCountsAsLed) {
    host_.RemoveResource(kLobbyPath);
    LoadAndStart();
    MakeReady("Lobby");
    QueuesUpdate("[" + FeaturedQueue(1200, kOn) + "]");
    EXPECT_EQ(Posts().size(), 1u);
}

TEST_F(Notification, IdleAsksNoLobby) {
    LoadAndStart();
    MakeReady("None");
    QueuesUpdate("[" + FeaturedQueue(1200, kOn) + "]");
    EXPECT_TRUE(RequestsTo(host_, kHostMethodGet, kLobbyPath).empty());
    EXPECT_EQ(Posts().size(), 1u);
}

TEST_F(Notification, TwoEligibleQueuesTheFirstAnsweredNamesIt) {
    SetEligible({1300, 1200, 999});  // 999 is no featured queue: it is left out
    LoadAndStart();
    MakeReady();
    // A later entry with a known id is not taken.
    QueuesUpdate("[" + FeaturedQueue(1200, kOn) + "," + FeaturedQueue(1300, kOn, 0, "YMODE") + "," +
                 FeaturedQueue(1300, kOn) + "]");
    const auto posts = Posts();
    ASSERT_EQ(posts.size(), 1u);
    const BindingProperty& posted = posts[0]->parameters[0].value;
    EXPECT_EQ(posted.GetMember("titleKey").AsString(), "notifications_rgm_title_YMODE");
    EXPECT_EQ(posted.GetMember("iconUrl").AsString(), "/") << "the map has no icon asset";
    EXPECT_EQ(posted.GetMember("backgroundUrl").AsString(), "/");
    EXPECT_EQ(posted.GetMember("data").FindMember("gameModeName"), nullptr) << "an empty mode name is left out";
    const BindingProperty queues = Json(posted.GetMember("data").GetMember("queues").AsString());
    ASSERT_EQ(queues.Count(), 2u) << "only featured queues, in the answer's order";
    EXPECT_EQ(queues.GetElement(0).GetMember("id").AsUnsigned(), 1300u);
    EXPECT_EQ(queues.GetElement(1).GetMember("id").AsUnsigned(), 1200u);
}

TEST_F(Notification, OneMapRequestPerMapAndMode) {
    LoadAndStart();
    MakeReady();
    QueuesUpdate("[" + FeaturedQueue(1200, kOn) + "," + FeaturedQueue(1201, kOn) +
                 R"(,{"id":400,"mapId":11,"gameMode":"CLASSIC"},{"id":401,"mapId":11,"gameMode":"CLASSIC"},)"
                 R"({"id":402,"mapId":11,"gameMode":"CLASSIC","queueAvailability":"PlatformDisabled"},)"
                 R"({"id":1202,"mapId":12,"gameMode":"XMODE","queueAvailability":"DoesntMeetRequirements"}])");
    EXPECT_EQ(RequestsTo(host_, kHostMethodGet, "/qel-maps/v2/map/11/CLASSIC").size(), 1u);
    // One for the queue list, one for the posted notification.
    EXPECT_EQ(RequestsTo(host_, kHostMethodGet, "/qel-maps/v2/map/12/XMODE").size(), 2u);
    const auto asked = RequestsTo(host_, kHostMethodGet, kEligibilityPath);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(Compact(asked[0]->parameters[1].value), "[1200,1201]") << "only available queues";
}

TEST_F(Notification, FallingFeaturedQueuesTakeNotificationsDown) {
    host_.SetResource(kNotificationsPath, Json(R"([{"id":5,"source":"rgm","type":"mode_enabled"},)"
                                               R"({"id":6,"source":"rgm","type":"other"},)"
                                               R"({"id":7,"source":"other","type":"mode_enabled"}])"));
    LoadAndStart();
    MakeReady();
    const std::string two = "[" + FeaturedQueue(1200, kLaterOn) + "," + FeaturedQueue(1201, kLaterOn) + "]";
    QueuesUpdate(two);
    ASSERT_EQ(Posts().size(), 1u);

    QueuesUpdate(two);
    EXPECT_TRUE(RequestsTo(host_, kHostMethodGet, kNotificationsPath).empty()) << "as many as before: nothing";

    QueuesUpdate("[" + FeaturedQueue(1200, kLaterOn) + "]");
    EXPECT_EQ(RequestsTo(host_, kHostMethodDelete, std::string(kNotificationsPath) + "/5").size(), 1u);
    EXPECT_TRUE(RequestsTo(host_, kHostMethodDelete, std::string(kNotificationsPath) + "/6").empty());
    EXPECT_TRUE(RequestsTo(host_, kHostMethodDelete, std::string(kNotificationsPath) + "/7").empty());
    EXPECT_EQ(Posts().size(), 1u) << "some left: still shown";

    QueuesUpdate("[]");
    EXPECT_EQ(RequestsTo(host_, kHostMethodDelete, std::string(kNotificationsPath) + "/5").size(), 2u);
    QueuesUpdate("[" + FeaturedQueue(1200, kLaterOn) + "]");
    ASSERT_EQ(Posts().size(), 2u) << "none left: announced again";
    EXPECT_EQ(Json(Posts()[1]->parameters[0].value.GetMember("data").GetMember("queues").AsString()).Count(), 1u)
        << "only what the last check found";

    // A list that cannot be read deletes nothing.
    host_.SetEndpoint(kHostMethodGet, kNotificationsPath,
                      [](const Host::RecordedRequest&) { return Host::Answer::Error(503, "later"); });
    QueuesUpdate("[]");
    EXPECT_EQ(RequestsTo(host_, kHostMethodDelete, std::string(kNotificationsPath) + "/5").size(), 2u);
}

// A decision that stops posts nothing, although the queues an earlier check
// found are still at hand.
TEST_F(Notification, EveryStopPostsNothing) {
    const struct {
        const char* description;
        void (*stop)(World&);
        uint64_t on = kLaterOn;
    } cases[] = {
        {"eligibility no longer ready",
         [](World& world) {
             world.host_.Update("/qel-queue-eligibility/v1/initial-configuration-complete", Json("false"));
         }},
        {"busy", [](World& world) { world.host_.Update("/qel-gameflow/v1/session", Json(R"({"phase":"InProgress"})")); }},
        {"switched on before the last notification", [](World&) {}, kOn},
        {"not the lobby's leader",
         [](World& world) {
             world.host_.SetResource(kLobbyPath, Json(R"({"localMember":{"isLeader":false}})"));
             world.host_.Update("/qel-gameflow/v1/session", Json(R"({"phase":"Lobby"})"));
         }},
        {"eligibility fails",
         [](World& world) {
             world.host_.SetEndpoint(kHostMethodGet, kEligibilityPath,
                                     [](const Host::RecordedRequest&) { return Host::Answer::Error(500, "down"); });
         }},
    };
    for (const auto& c : cases) {
        World world;
        world.LoadAndStart();
        world.MakeReady();
        world.QueuesUpdate("[" + FeaturedQueue(1200, kLaterOn) + "]");
        world.QueuesUpdate("[]");  // no longer shown
        c.stop(world);
        world.QueuesUpdate("[" + FeaturedQueue(1200, c.on) + "]");
        EXPECT_EQ(world.Posts().size(), 1u) << c.description;
    }
}

// The map is asked for again when posting; if that fails, nothing is posted
// or armed, and the next decision tries again.
TEST_F(Notification, AMapThatFailsWhilePostingLeavesItUnshown) {
    int asked = 0;
    host_.SetEndpoint(kHostMethodGet, "/qel-maps/v2/map/12/XMODE", [&asked](const Host::RecordedRequest&) {
        return ++asked == 2 ? Host::Answer::Error(500, "busy") : Host::Answer::Body(Json(R"({"isRGM":true})"));
    });
    LoadAndStart();
    MakeReady();
    QueuesUpdate("[" + FeaturedQueue(1200, kLaterOn) + "]");
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(Posts().empty());
    EXPECT_TRUE(SaveTimers().empty());
    host_.Update("/qel-gameflow/v1/session", Json(R"({"phase":"None"})"));
    EXPECT_EQ(Posts().size(), 1u);
}

}  // namespace
}  // namespace Vorn::Testing

// The decision, the posted notification and its removal, driven through the
// simulated host against the loaded library.
#include <gtest/gtest.h>

#include <string>

#include "featured_modes_world.h"

namespace Vorn::Testing {
namespace {

constexpr uint64_t kOn = 1000000000000ull;  // 2001-09-09

using Notification = FeaturedModesWorld;

TEST_F(Notification, ASwitchedOnFeaturedModeIsAnnouncedOnce) {
    LoadAndStart();
    MakeReady();
    QueuesUpdate("[" + FeaturedQueue(1200, kOn) + "]");
    const auto posts = Posts();
    ASSERT_EQ(posts.size(), 1u);
    ASSERT_EQ(posts[0]->parameters.size(), 1u);
    EXPECT_EQ(Compact(posts[0]->parameters[0].value),
              R"({"backgroundUrl":"/bg/x.jpg","critical":false,"data":{"gameMode":"XMODE","gameModeName":"Example Mode",)"
              R"("queues":"[{\"category\":\"PvP\",\"gameMode\":\"XMODE\",\"gameMutator\":\"\",\"id\":1200,)"
              R"(\"lastToggledOffTime\":0,\"lastToggledOnTime\":1000000000000,\"mapId\":12,\"name\":\"Example\",)"
              R"(\"queueAvailability\":\"Available\"}]"},"detailKey":"notifications_rgm_details","expires":"",)"
              R"("iconUrl":"/icons/x.png","id":0,"source":"rgm","state":"","titleKey":"notifications_rgm_title_XMODE",)"
              R"("type":"mode_enabled"})");
    // The eligibility request names the summoner and the featured queues.
    const auto asked = RequestsTo(host_, kHostMethodGet, kEligibilityPath);
    ASSERT_EQ(asked.size(), 1u);
    ASSERT_EQ(asked[0]->parameters.size(), 2u);
    EXPECT_EQ(Compact(asked[0]->parameters[0].value), "[42]");
    EXPECT_EQ(Compact(asked[0]->parameters[1].value), "[1200]");
    // Shown: later triggers post nothing more.
    host_.Update("/qel-gameflow/v1/session", Json(R"({"phase":"None"})"));
    QueuesUpdate("[" + FeaturedQueue(1200, kOn) + "]");
    EXPECT_EQ(Posts().size(), 1u);
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

TEST_F(Notification, MissingReadinessUpdatesHoldItBack) {
    for (const char* skipped : {"/qel-settings/v2/ready", "/qel-queue-eligibility/v1/initial-configuration-complete",
                                "/qel-gameflow/v1/availability"}) {
        World world;
        world.LoadAndStart();
        if (std::string(skipped) != "/qel-settings/v2/ready") world.host_.Update("/qel-settings/v2/ready", Json("{}"));
        if (std::string(skipped) != "/qel-queue-eligibility/v1/initial-configuration-complete") {
            world.host_.Update("/qel-queue-eligibility/v1/initial-configuration-complete", Json("true"));
        }
        if (std::string(skipped) != "/qel-gameflow/v1/availability") {
            world.host_.Update("/qel-gameflow/v1/availability", Json(R"({"isAvailable":true})"));
        }
        world.QueuesUpdate("[" + FeaturedQueue(1200, kOn) + "]");
        EXPECT_TRUE(world.Posts().empty()) << skipped;
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
        uint64_t last;
        uint64_t on;
        uint64_t off;
        bool posts;
    } cases[] = {
        {"off long before on", 0, kOn, kOn - 1000000000ull, true},
        {"off an hour, but long after the last notification", 0, kOn, kOn - 3600000ull, true},
        {"both too close", 999999000000ull, kOn, 999999500000ull, false},
        {"last notification at the switch-on", kOn, kOn, 0, false},
        {"last notification after the switch-on", kOn + 1, kOn, 0, false},
    };
    for (const auto& c : cases) {
        World world;
        world.host_.SetResource(kSettingsPath, Json("{\"data\":{\"rgmNotificationTimestamp\":" + std::to_string(c.last) +
                                                    "},\"schemaVersion\":1}"));
        world.LoadAndStart();
        world.MakeReady();
        world.QueuesUpdate("[" + FeaturedQueue(1200, c.on, c.off) + "]");
        EXPECT_EQ(world.Posts().size(), c.posts ? 1u : 0u) << c.description;
    }
}

TEST_F(Notification, ALargeThresholdDoesNotWrap) {
    // 71,583 minutes times 60,000 does not fit 32 bits; wrapped it would be
    // about 45 seconds and let a queue off for an hour through.
    host_.SetResource("/qel-platform-config/v1/namespaces/FeaturedModes",
                      Json(R"({"QueueToggleNotificationMinutesThreshold":71583})"));
    host_.SetResource(kSettingsPath, Json(R"({"data":{"rgmNotificationTimestamp":999999000000}})"));
    LoadAndStart();
    MakeReady();
    QueuesUpdate("[" + FeaturedQueue(1200, kOn, kOn - 3600000ull) + "]");
    EXPECT_TRUE(Posts().empty());
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
    QueuesUpdate("[" + FeaturedQueue(1200, kOn) + "," + FeaturedQueue(1300, kOn, 0, "YMODE") + "]");
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
                 R"({"id":402,"mapId":11,"gameMode":"CLASSIC","queueAvailability":"PlatformDisabled"}])");
    EXPECT_EQ(RequestsTo(host_, kHostMethodGet, "/qel-maps/v2/map/11/CLASSIC").size(), 1u);
    // One for the queue list, one for the posted notification.
    EXPECT_EQ(RequestsTo(host_, kHostMethodGet, "/qel-maps/v2/map/12/XMODE").size(), 2u);
    const auto asked = RequestsTo(host_, kHostMethodGet, kEligibilityPath);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(Compact(asked[0]->parameters[1].value), "[1200,1201]");
}

TEST_F(Notification, FallingFeaturedQueuesTakeNotificationsDown) {
    host_.SetResource(kNotificationsPath, Json(R"([{"id":5,"source":"rgm","type":"mode_enabled"},)"
                                               R"({"id":6,"source":"rgm","type":"other"},)"
                                               R"({"id":7,"source":"other","type":"mode_enabled"}])"));
    LoadAndStart();
    MakeReady();
    QueuesUpdate("[" + FeaturedQueue(1200, kOn) + "," + FeaturedQueue(1201, kOn) + "]");
    ASSERT_EQ(Posts().size(), 1u);

    QueuesUpdate("[" + FeaturedQueue(1200, kOn) + "," + FeaturedQueue(1201, kOn) + "]");
    EXPECT_TRUE(RequestsTo(host_, kHostMethodGet, kNotificationsPath).empty()) << "as many as before: nothing";

    QueuesUpdate("[" + FeaturedQueue(1200, kOn) + "]");
    EXPECT_EQ(RequestsTo(host_, kHostMethodDelete, std::string(kNotificationsPath) + "/5").size(), 1u);
    EXPECT_TRUE(RequestsTo(host_, kHostMethodDelete, std::string(kNotificationsPath) + "/6").empty());
    EXPECT_TRUE(RequestsTo(host_, kHostMethodDelete, std::string(kNotificationsPath) + "/7").empty());
    EXPECT_EQ(Posts().size(), 1u) << "some left: still shown";

    QueuesUpdate("[]");
    EXPECT_EQ(RequestsTo(host_, kHostMethodDelete, std::string(kNotificationsPath) + "/5").size(), 2u);
    // None left: a later switch-on is announced again (the time rule still
    // compares with the last notification, which the first post moved on).
    host_.SetResource(kSettingsPath, Json(R"({"data":{}})"));
    host_.Update(kSettingsPath, Json(R"({"data":{}})"));
    QueuesUpdate("[" + FeaturedQueue(1200, kOn) + "]");
    EXPECT_EQ(Posts().size(), 2u);
}

}  // namespace
}  // namespace Vorn::Testing

// What each observed resource changes: subscriptions, login, availability,
// read notifications, and the registered types.
#include <gtest/gtest.h>

#include "boundary_field.h"

#include <cstring>
#include <string>
#include <vector>

#include "featured_modes_world.h"

namespace Vorn::Testing {
namespace {

constexpr uint64_t kOn = 1000000000000ull;

using Observation = FeaturedModesWorld;

TEST_F(Observation, NineSubscriptionsInOrderAndTheTenthAtLogin) {
    host_.RemoveResource("/qel-login/v1/session");
    LoadAndStart();
    std::vector<std::string> names;
    for (const Host::RecordedSubscription& s : host_.Subscriptions()) {
        if (s.kind == 0) names.push_back(s.eventName);
    }
    EXPECT_EQ(names, (std::vector<std::string>{
                         "OnJsonApiEvent_qel-platform-config_v1_namespaces_FeaturedModes",
                         "OnJsonApiEvent_qel-settings_v1_account", "OnJsonApiEvent_qel-settings_v2_ready",
                         "OnJsonApiEvent_qel-game-queues_v1_queues", "OnJsonApiEvent_qel-gameflow_v1_session",
                         "OnJsonApiEvent_qel-gameflow_v1_availability",
                         "OnJsonApiEvent_player-notifications_v1_notifications", "OnJsonApiEvent_qel-login_v1_session",
                         "OnJsonApiEvent_qel-queue-eligibility_v1_initial-configuration-complete"}));
    EXPECT_TRUE(RequestsTo(host_, kHostMethodGet, "/player-notifications/v1/notifications/*").empty());

    host_.Update("/qel-login/v1/session", Json(R"({"state":"SUCCEEDED","accountId":7})"));
    EXPECT_FALSE(host_.IsSubscribed("OnJsonApiEvent_qel-champions_v1_inventories")) << "no summoner yet";
    host_.Update("/qel-login/v1/session", Json(R"({"state":"SUCCEEDED","summonerId":42,"accountId":7})"));
    EXPECT_TRUE(host_.IsSubscribed("OnJsonApiEvent_qel-champions_v1_inventories"));
    EXPECT_EQ(RequestsTo(host_, kHostMethodGet, "/qel-champions/v1/inventories/42/champions-playable-count").size(),
              1u);
}

TEST_F(Observation, AKnownSummonerStaysUntilLogout) {
    LoadAndStart();
    const std::size_t subscriptions = host_.Subscriptions().size();
    host_.Update("/qel-login/v1/session", Json(R"({"state":"SUCCEEDED","summonerId":43,"accountId":8})"));
    EXPECT_EQ(host_.Subscriptions().size(), subscriptions) << "another summoner changes nothing";
    host_.Delete("/qel-login/v1/session");
    host_.Update("/qel-login/v1/session", Json(R"({"state":"SUCCEEDED","summonerId":43,"accountId":8})"));
    EXPECT_EQ(RequestsTo(host_, kHostMethodGet, "/qel-champions/v1/inventories/43/champions-playable-count").size(),
              1u);
    MakeReady();
    QueuesUpdate("[" + FeaturedQueue(1200, kOn) + "]");
    const auto asked = RequestsTo(host_, kHostMethodGet, kEligibilityPath);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(Compact(Field(asked[0]->parameters[0].value)), "[43]");
}

TEST_F(Observation, OnlyAnAvailabilityThatComesOnDecides) {
    LoadAndStart();
    MakeReady();  // availability false -> true, with no featured queue yet
    host_.SetEndpoint(kHostMethodGet, kEligibilityPath,
                      [](const Host::RecordedRequest&) { return Host::Answer::Error(503, "later"); });
    QueuesUpdate("[" + FeaturedQueue(1200, kOn) + "]");
    const std::size_t asked = RequestsTo(host_, kHostMethodGet, kEligibilityPath).size();
    host_.Update("/qel-gameflow/v1/availability", Json(R"({"isAvailable":true})"));
    EXPECT_EQ(RequestsTo(host_, kHostMethodGet, kEligibilityPath).size(), asked) << "true to true";
    host_.Update("/qel-gameflow/v1/availability", Json(R"({"isAvailable":false})"));
    host_.Update("/qel-gameflow/v1/availability", Json(R"({"isAvailable":true})"));
    EXPECT_EQ(RequestsTo(host_, kHostMethodGet, kEligibilityPath).size(), asked + 1) << "false to true";
}

TEST_F(Observation, ChampionCountUpdatesRunTheDecision) {
    LoadAndStart();
    MakeReady();
    SetEligible({});
    QueuesUpdate("[" + FeaturedQueue(1200, kOn) + "]");
    SetEligible({1200});
    host_.Create("/qel-champions/v1/inventories/42/champions-playable-count", Json("16"));
    EXPECT_TRUE(Posts().empty()) << "a Create decides nothing";
    host_.Update("/qel-champions/v1/inventories/42/champions-playable-count", Json("17"));
    EXPECT_EQ(Posts().size(), 1u);
}

TEST_F(Observation, UpdatesThatDoNotConvertChangeNothing) {
    LoadAndStart();
    MakeReady();
    SetEligible({});
    QueuesUpdate("[" + FeaturedQueue(1200, kOn) + "]");
    SetEligible({1200});
    // Each body has the wrong shape for its resource and is dropped; taken
    // as an empty record instead, the queues, session, availability or login
    // would keep the post back.
    const std::pair<std::string, const char*> updates[] = {
        {kConfigPath, R"({"NotificationsEnabled":"no"})"},
        {kQueuesPath, R"({"id":1})"},
        {"/qel-gameflow/v1/session", "[1]"},
        {"/qel-gameflow/v1/availability", R"("off")"},
        {"/qel-login/v1/session", R"({"summonerId":"x"})"},
        {"/player-notifications/v1/notifications/5", "7"},
    };
    for (const auto& [path, body] : updates) {
        host_.Update(path, Json(body));
        EXPECT_TRUE(Posts().empty()) << path << ": nothing decided on it";
    }
    host_.Update("/qel-champions/v1/inventories/42/champions-playable-count", Json("17"));
    EXPECT_EQ(Posts().size(), 1u) << "the last good state of each still holds";
}

TEST_F(Observation, EachConfigurationReplacesTheLastAndADeleteChangesNothing) {
    LoadAndStart();
    host_.Update(kConfigPath, Json(R"({"NotificationsEnabled":false})"));
    host_.Delete(kConfigPath);
    MakeReady();
    QueuesUpdate("[" + FeaturedQueue(1200, 4102444800000ull) + "]");
    EXPECT_TRUE(Posts().empty()) << "still disabled";
    // Whole: the absent key is back at its default, enabled.
    host_.Update(kConfigPath, Json(R"({"MaxNotificationSaveDelayMinutes":1})"));
    host_.Update("/qel-gameflow/v1/session", Json(R"({"phase":"None"})"));
    EXPECT_EQ(Posts().size(), 1u);
}

TEST_F(Observation, ReadNotificationsOfTheServiceAreDeleted) {
    LoadAndStart();
    const struct {
        const char* notification;
        bool deleted;
    } cases[] = {
        {R"({"id":1,"source":"rgm","type":"any","state":"read"})", true},
        {R"({"id":2,"source":"other","type":"mode_enabled","state":"read"})", true},
        {R"({"id":3,"source":"rgm","type":"mode_enabled","state":"Read"})", false},
        {R"({"id":4,"source":"other","type":"other","state":"read"})", false},
        {R"({"id":5,"source":"rgm","type":"mode_enabled","state":"unread"})", false},
    };
    for (const auto& c : cases) {
        const BindingProperty value = Json(c.notification);
        const std::string path = "/player-notifications/v1/notifications/" + std::to_string(value.GetMember("id").AsUnsigned());
        host_.Update(path, value);
        EXPECT_EQ(RequestsTo(host_, kHostMethodDelete, path).size(), c.deleted ? 1u : 0u) << c.notification;
    }
    host_.Create("/player-notifications/v1/notifications/9", Json(R"({"id":9,"source":"rgm","state":"read"})"));
    EXPECT_TRUE(RequestsTo(host_, kHostMethodDelete, "/player-notifications/v1/notifications/9").empty())
        << "only Updates";
}

// A key the host leaves out keeps the record's default: in the decision, and
// in the queue as the notification carries it.
TEST_F(Observation, AbsentQueueKeysKeepTheirDefaults) {
    const struct {
        const char* queue;
        const char* posted;  // the notification's "queues"; null: nothing posted
    } cases[] = {
        {R"({"gameMode":"XMODE","lastToggledOnTime":4102444800000})",
         R"([{"category":"None","gameMode":"XMODE","gameMutator":"","id":0,"lastToggledOffTime":0,)"
         R"("lastToggledOnTime":4102444800000,"mapId":0,"name":"","queueAvailability":"Available"}])"},
        // Switched on at 0: never later than the last notification.
        {R"({"id":1200,"mapId":12,"gameMode":"XMODE","lastToggledOffTime":172800000})", nullptr},
    };
    for (const auto& c : cases) {
        World world;
        world.SetMap("/qel-maps/v2/map/0/XMODE", R"({"isRGM":true})");
        world.host_.SetEndpoint(kHostMethodGet, kEligibilityPath, [](const Host::RecordedRequest&) {
            return Host::Answer::Body(Json(R"([{"eligible":true},{"queueId":1200,"eligible":true}])"));
        });
        world.LoadAndStart();
        world.MakeReady();
        world.QueuesUpdate(std::string("[") + c.queue + "]");
        const auto posts = world.Posts();
        ASSERT_EQ(posts.size(), c.posted ? 1u : 0u) << c.queue;
        if (c.posted) {
            EXPECT_EQ(posts[0]->parameters[0].value.GetMember("data").GetMember("queues").AsString(), c.posted);
        }
    }
}

TEST_F(Observation, TheThirteenTypesUnderThePrefix) {
    LoadAndStart();
    const ApiTable& table = *host_.Record().apiTable;
    std::vector<std::string> names;
    std::vector<std::string> enumerations;  // "Name: A=0 B=1 ...", enumerators as the table sorts them
    const ApiTypeEntry* queue = nullptr;
    for (uint32_t i = 0; i < table.typeCount; ++i) {
        const ApiTypeEntry& type = table.types[i];
        const std::string name = type.name;
        if (name.rfind("QelFeaturedModes", 0) != 0) continue;
        names.push_back(name.substr(16));
        if (name == "QelFeaturedModesQueue") queue = &type;
        if (Field(type.enumerators) == nullptr) continue;
        std::string text = name.substr(16) + ":";
        for (uint32_t e = 0; e < Field(type.count); ++e) {
            text += " " + std::string(Field(type.enumerators[e].name)) + "=" +
                    std::to_string(Field(type.enumerators[e].value));
        }
        enumerations.push_back(text);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"PlayerNotificationResource", "QueueAvailability", "QueueGameCategory",
                                               "Queue", "GameflowPhase", "GameflowSession", "GameflowAvailabilityState",
                                               "GameflowAvailability", "FeaturedModesConfig", "Maps", "Eligibility",
                                               "LoginSessionStates", "LoginSession"}));
    EXPECT_EQ(enumerations,
              (std::vector<std::string>{
                  "QueueAvailability: Available=0 DoesntMeetRequirements=2 PlatformDisabled=1",
                  "QueueGameCategory: Custom=1 None=0 PvP=2 VersusAi=3",
                  "GameflowPhase: ChampSelect=5 CheckedIntoTournament=3 EndOfGame=12 FailedToLaunch=7 GameStart=6 "
                  "InProgress=8 Lobby=1 Matchmaking=2 None=0 PreEndOfGame=11 ReadyCheck=4 Reconnect=9 "
                  "TerminatedInError=13 WaitingForStats=10",
                  "GameflowAvailabilityState: Available=0 Configuration=5 InGameFlow=4 Initializing=1 Patching=2 "
                  "PlayerBanned=3",
                  "LoginSessionStates: ERROR=3 IN_PROGRESS=0 LOGGING_OUT=2 SUCCEEDED=1"}));
    ASSERT_NE(queue, nullptr);
    ASSERT_EQ(Field(queue->count), 9u);
    EXPECT_STREQ(Field(queue->members[8].name), "queueAvailability");
    EXPECT_STREQ(Field(queue->members[8].describedType), "QelFeaturedModesQueueAvailability");
}

}  // namespace
}  // namespace Vorn::Testing

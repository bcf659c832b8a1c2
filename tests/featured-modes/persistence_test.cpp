// The notification time in the account settings: saved after a random delay,
// at logout and at stop, read back at start, so a restart announces nothing
// again.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "featured_modes_world.h"
#include "platform/clock.h"

namespace Vorn::Testing {
namespace {

constexpr uint64_t kOn = 1000000000000ull;
constexpr uint64_t kLaterOn = 4102444800000ull;  // after every posting time

uint64_t NowMilliseconds() { return Platform::SystemTimeTicks() / 10000; }

class Persistence : public FeaturedModesWorld {
protected:
    void PostOne(uint64_t on = kOn) {
        LoadAndStart();
        MakeReady();
        before_ = NowMilliseconds();
        QueuesUpdate("[" + FeaturedQueue(1200, on) + "]");
        after_ = NowMilliseconds();
        ASSERT_EQ(Posts().size(), 1u);
    }

    // The saved value is {"data":{"rgmNotificationTimestamp":T},"schemaVersion":1}
    // with T the posting time.
    void ExpectSavedPostingTime(const Host::RecordedRequest& patch) {
        ASSERT_EQ(patch.parameters.size(), 1u);
        const BindingProperty& body = patch.parameters[0].value;
        const BindingProperty& stamp = body.GetMember("data").GetMember("rgmNotificationTimestamp");
        EXPECT_EQ(stamp.Kind(), BindingKind::Unsigned);
        EXPECT_GE(stamp.AsUnsigned(), before_);
        EXPECT_LE(stamp.AsUnsigned(), after_);
        EXPECT_EQ(Compact(body), R"({"data":{"rgmNotificationTimestamp":)" + std::to_string(stamp.AsUnsigned()) +
                                     R"(},"schemaVersion":1})");
        EXPECT_EQ(body.GetMember("schemaVersion").Kind(), BindingKind::Signed);
    }

    uint64_t before_ = 0;
    uint64_t after_ = 0;
};

TEST_F(Persistence, SavedAfterTheRandomDelayAndARestartAnnouncesNothingAgain) {
    PostOne();
    EXPECT_TRUE(Patches().empty());
    ASSERT_EQ(SaveTimers().size(), 1u);
    host_.Advance(10 * kMinute);
    const auto patches = Patches();
    ASSERT_EQ(patches.size(), 1u);
    ExpectSavedPostingTime(*patches[0]);
    host_.Advance(60 * kMinute);
    EXPECT_EQ(Patches().size(), 1u) << "the save timer does not repeat";

    Restart();
    MakeReady();
    QueuesUpdate("[" + FeaturedQueue(1200, kOn) + "]");
    EXPECT_EQ(Posts().size(), 1u) << "the stored time is not older than the switch-on";
}

TEST_F(Persistence, TwoPostsInOneWindowGiveOnePatchWithTheLaterTime) {
    PostOne();
    // All featured queues go, then come back: a second notification.
    QueuesUpdate("[]");
    QueuesUpdate("[" + FeaturedQueue(1300, NowMilliseconds() + 1000) + "]");
    SetEligible({1300});
    before_ = NowMilliseconds();
    host_.Update("/qel-gameflow/v1/session", Json(R"({"phase":"None"})"));
    after_ = NowMilliseconds();
    ASSERT_EQ(Posts().size(), 2u);
    EXPECT_EQ(SaveTimers().size(), 1u) << "the pending timer is not started again";
    host_.Advance(10 * kMinute);
    const auto patches = Patches();
    ASSERT_EQ(patches.size(), 1u);
    ExpectSavedPostingTime(*patches[0]);
}

// The delay is drawn uniformly from [0, MaxNotificationSaveDelayMinutes x 60)
// seconds at each arming: 200 draws span the window (the chance that none
// falls in its last tenth is 0.9^200, about 7e-10).
TEST_F(Persistence, SaveDelaysSpanTheConfiguredWindow) {
    for (const uint32_t minutes : {0u, 1u, 10u}) {
        World world;
        if (minutes != 10) {  // 10 is the default
            world.host_.SetResource(kConfigPath, Json("{\"MaxNotificationSaveDelayMinutes\":" +
                                                      std::to_string(minutes) + "}"));
        }
        world.LoadAndStart();
        world.MakeReady();
        double longest = 0;
        for (int draw = 0; draw < 200; ++draw) {
            world.QueuesUpdate("[]");
            world.QueuesUpdate("[" + FeaturedQueue(1200, kLaterOn) + "]");
            world.host_.Advance(10 * kMinute);
            const auto timers = world.SaveTimers();
            ASSERT_EQ(timers.size(), static_cast<std::size_t>(draw + 1)) << minutes;
            ASSERT_GE(timers.back()->delaySeconds, 0.0);
            ASSERT_LE(timers.back()->delaySeconds, minutes * 60.0);
            longest = std::max(longest, timers.back()->delaySeconds);
        }
        EXPECT_EQ(world.Patches().size(), 200u);
        EXPECT_GE(longest, minutes * 54.0) << minutes;
        if (minutes != 0) {
            EXPECT_LT(longest, minutes * 60.0);
        }
    }
}

TEST_F(Persistence, LogoutSavesAPendingTimestampAtOnce) {
    PostOne();
    host_.Delete("/qel-login/v1/session");
    const auto patches = Patches();
    ASSERT_EQ(patches.size(), 1u);
    ExpectSavedPostingTime(*patches[0]);
    host_.Advance(10 * kMinute);
    EXPECT_EQ(Patches().size(), 1u) << "the cancelled timer saves nothing more";
    EXPECT_EQ(LogLinesWith(host_, 1, "qel-featured-modes: Couldn't find timer named "
                                     "featured-mode-notifications.Save").size(),
              1u);

    host_.Delete("/qel-login/v1/session");
    EXPECT_EQ(Patches().size(), 1u) << "nothing pending: nothing sent";
}

TEST_F(Persistence, StopSavesAPendingTimestamp) {
    PostOne();
    host_.Stop();
    const auto patches = Patches();
    ASSERT_EQ(patches.size(), 1u);
    ExpectSavedPostingTime(*patches[0]);

    Restart();
    MakeReady();
    QueuesUpdate("[" + FeaturedQueue(1200, kOn) + "]");
    EXPECT_EQ(Posts().size(), 1u);
}

// A POST the host refuses counts all the same: shown, stamped and saved.
TEST_F(Persistence, AFailedPostIsShownAndSaved) {
    host_.SetEndpoint(kHostMethodPost, kNotificationsPath,
                      [](const Host::RecordedRequest&) { return Host::Answer::Error(500, "full"); });
    PostOne(kLaterOn);
    host_.Update("/qel-gameflow/v1/session", Json(R"({"phase":"None"})"));
    EXPECT_EQ(Posts().size(), 1u);
    host_.Advance(10 * kMinute);
    ASSERT_EQ(Patches().size(), 1u);
    ExpectSavedPostingTime(*Patches()[0]);
}

TEST_F(Persistence, AFailedSaveIsLoggedOnce) {
    host_.SetEndpoint(kHostMethodPatch, kSettingsPath,
                      [](const Host::RecordedRequest&) { return Host::Answer::Error(500, "disk full"); });
    PostOne();
    host_.Advance(10 * kMinute);
    EXPECT_EQ(LogLinesWith(host_, 2, "Failure in local save to qel-notifications").size(), 1u);
    host_.Stop();
    EXPECT_EQ(Patches().size(), 1u) << "no retry, not even at stop";
}

TEST_F(Persistence, StoredValuesThatAreNoTimestampReadAsNever) {
    // Switched on at 1 and off 48 hours later: only a last notification at 0
    // lets it through.
    const std::string queues = "[" + FeaturedQueue(1200, 1, 2880 * 60000ull) + "]";
    for (const char* stored : {R"({"data":{"rgmNotificationTimestamp":-5}})", R"({"data":{}})",
                               R"({"data":{"rgmNotificationTimestamp":"1000000000001"}})"}) {
        World world;
        world.host_.SetResource(kSettingsPath, Json(stored));
        world.LoadAndStart();
        world.MakeReady();
        world.QueuesUpdate(queues);
        EXPECT_EQ(world.Posts().size(), 1u) << stored;
    }
    // A Delete of the settings forgets a stored time too.
    World world;
    world.host_.SetResource(kSettingsPath, Json(R"({"data":{"rgmNotificationTimestamp":1}})"));
    world.LoadAndStart();
    world.MakeReady();
    world.QueuesUpdate(queues);
    EXPECT_TRUE(world.Posts().empty());
    world.host_.Delete(kSettingsPath);
    world.QueuesUpdate(queues);
    EXPECT_EQ(world.Posts().size(), 1u);
}

}  // namespace
}  // namespace Vorn::Testing

#pragma once
// The featured-modes service: it watches the host's queues, game flow, login
// and settings, and when queues of a featured (rotating) game mode have newly
// been switched on and the player is idle or a lobby leader and eligible, it
// posts one player notification naming the mode and remembers when it did so
// in the account settings.
//
// All state is touched only from resource-event handlers, the save timer and
// the start and stop calls, which the host makes one at a time; it takes no
// lock. Times are milliseconds since 1970-01-01 00:00 UTC.
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "featured-modes/featured_modes_types.h"
#include "plugin/plugin_base.h"

namespace Vorn::Client::FeaturedModes {

inline constexpr const char* kShortName = "qel-featured-modes";
inline constexpr const char* kSaveTimerName = "featured-mode-notifications.Save";
inline constexpr const char* kNotificationSettingsPath = "/qel-settings/v1/account/qel-notifications";
inline constexpr const char* kNotificationsPath = "/player-notifications/v1/notifications";

class FeaturedModesPlugin : public PluginBase {
public:
    ~FeaturedModesPlugin() override;
    // Subscriptions stay (the tables go with the object); a save that is
    // still pending is written now, so a restart does not announce the same
    // modes again.
    void Shutdown() override;
    void RegisterTypes() override;
    // Subscribes the nine resources; always true.
    bool Start() override;

    // The decision step: FindNotifiableQueues, then, when it found queues,
    // PostFeaturedModeNotification.
    bool FindNotifiableQueues();
    void PostFeaturedModeNotification();
    void RemoveFeaturedModeNotifications();
    RequestResult<Api::Maps> GetMap(int32_t mapId, const std::string& gameMode);
    void SaveNotificationTimestamp();

private:
    void SubscribeResources();
    void RunDecisionStep();

    void OnFeaturedModesConfig(const ResourceEvent<Api::FeaturedModesConfig>& event);
    void OnNotificationSettings(const ResourceEvent<BindingProperty>& event);
    void OnSettingsReady(const ResourceEvent<BindingProperty>& event);
    void OnQueues(const ResourceEvent<std::vector<Api::Queue>>& event);
    void OnGameflowSession(const ResourceEvent<Api::GameflowSession>& event);
    void OnGameflowAvailability(const ResourceEvent<Api::GameflowAvailability>& event);
    void OnPlayerNotification(const ResourceEvent<Api::PlayerNotificationResource>& event);
    void OnLoginSession(const ResourceEvent<Api::LoginSession>& event);
    void OnInitialConfigurationComplete(const ResourceEvent<BindingProperty>& event);
    void OnChampionsPlayableCount(const ResourceEvent<BindingProperty>& event);

    uint64_t rgmNotificationTimestamp = 0;
    Api::GameflowPhase gameflowPhase = Api::GameflowPhase::None;
    bool gameflowAvailable = false;
    Api::FeaturedModesConfig config;
    uint64_t summonerId = 0;
    // Keyed by queue id; ordered, so the eligibility request lists ids the
    // same way every time.
    std::map<int32_t, Api::Queue> featuredQueues;
    std::vector<Api::Queue> notifiableQueues;
    uint64_t earliestToggledOnTime = std::numeric_limits<uint64_t>::max();
    uint64_t earliestToggledOffTime = std::numeric_limits<uint64_t>::max();
    bool saveTimerPending = false;
    bool configReceived = false;
    bool settingsReady = false;
    bool queueEligibilityReady = false;
    bool notificationShown = false;
    bool decisionRunning = false;
    bool decisionAgain = false;
};

}  // namespace Vorn::Client::FeaturedModes

// The nine observed resources (and the tenth, made at login) and what each
// handler changes.
#include <set>
#include <utility>

#include "featured-modes/featured_modes_plugin.h"
#include "support/message_format.h"

namespace Vorn::Client::FeaturedModes {

namespace {

using Api::GameflowAvailability;
using Api::GameflowSession;
using Api::LoginSession;
using Api::LoginSessionStates;
using Api::PlayerNotificationResource;
using Api::Queue;
using Api::QueueAvailability;

bool IsUpdate(PluginResourceEventType type) { return type == PluginResourceEventType::Update; }

}  // namespace

void FeaturedModesPlugin::SubscribeResources() {
    ObserveResource<Api::FeaturedModesConfig>("/qel-platform-config/v1/namespaces/FeaturedModes",
                                              [this](const auto& event) { OnFeaturedModesConfig(event); });
    ObserveResource<BindingProperty>(kNotificationSettingsPath,
                                     [this](const auto& event) { OnNotificationSettings(event); });
    ObserveResource<BindingProperty>("/qel-settings/v2/ready", [this](const auto& event) { OnSettingsReady(event); });
    ObserveResource<std::vector<Queue>>("/qel-game-queues/v1/queues", [this](const auto& event) { OnQueues(event); });
    ObserveResource<GameflowSession>("/qel-gameflow/v1/session",
                                     [this](const auto& event) { OnGameflowSession(event); });
    ObserveResource<GameflowAvailability>("/qel-gameflow/v1/availability",
                                          [this](const auto& event) { OnGameflowAvailability(event); });
    ObserveResource<PlayerNotificationResource>("/player-notifications/v1/notifications/*",
                                                [this](const auto& event) { OnPlayerNotification(event); });
    ObserveResource<LoginSession>("/qel-login/v1/session", [this](const auto& event) { OnLoginSession(event); });
    ObserveResource<BindingProperty>("/qel-queue-eligibility/v1/initial-configuration-complete",
                                     [this](const auto& event) { OnInitialConfigurationComplete(event); });
}

void FeaturedModesPlugin::RunDecisionStep() {
    // The host may deliver events while a step waits for an answer; a step
    // they start then runs once the current one is done, with what they
    // changed, instead of inside it (where a second notification could go
    // out before the first is marked shown).
    if (decisionRunning) {
        decisionAgain = true;
        return;
    }
    struct Running {
        bool& flag;
        explicit Running(bool& f) : flag(f) { flag = true; }
        ~Running() { flag = false; }
    } running(decisionRunning);
    do {
        decisionAgain = false;
        if (FindNotifiableQueues()) PostFeaturedModeNotification();
    } while (decisionAgain);
}

void FeaturedModesPlugin::OnFeaturedModesConfig(const ResourceEvent<Api::FeaturedModesConfig>& event) {
    if (event.eventType == PluginResourceEventType::Delete) return;
    config = event.data;
    configReceived = true;
}

void FeaturedModesPlugin::OnNotificationSettings(const ResourceEvent<BindingProperty>& event) {
    // Anything but an unsigned number (absent, negative, text, a Delete)
    // reads as "never notified".
    const BindingProperty& stored = event.data.GetMember("data").GetMember("rgmNotificationTimestamp");
    rgmNotificationTimestamp = stored.Kind() == BindingKind::Unsigned ? stored.AsUnsigned() : 0;
}

void FeaturedModesPlugin::OnSettingsReady(const ResourceEvent<BindingProperty>& event) {
    if (IsUpdate(event.eventType)) settingsReady = true;
}

void FeaturedModesPlugin::OnQueues(const ResourceEvent<std::vector<Queue>>& event) {
    if (!IsUpdate(event.eventType)) return;
    const std::size_t previousCount = featuredQueues.size();
    featuredQueues.clear();
    // One map request per (mapId, gameMode) pair and event.
    std::map<std::pair<int32_t, std::string>, bool> featuredMaps;
    for (const Queue& queue : event.data) {
        if (queue.queueAvailability != QueueAvailability::Available) continue;
        auto key = std::make_pair(queue.mapId, queue.gameMode);
        auto cached = featuredMaps.find(key);
        if (cached == featuredMaps.end()) {
            const RequestResult<Api::Maps> map = GetMap(queue.mapId, queue.gameMode);
            cached = featuredMaps.emplace(std::move(key), map.Ok() && map.Value().isRGM).first;
        }
        if (cached->second) featuredQueues.emplace(queue.id, queue);
    }
    earliestToggledOffTime = std::numeric_limits<uint64_t>::max();
    earliestToggledOnTime = std::numeric_limits<uint64_t>::max();
    for (const auto& [id, queue] : featuredQueues) {
        earliestToggledOffTime = std::min(earliestToggledOffTime, queue.lastToggledOffTime);
        earliestToggledOnTime = std::min(earliestToggledOnTime, queue.lastToggledOnTime);
    }
    if (featuredQueues.size() < previousCount) {
        RemoveFeaturedModeNotifications();
        if (featuredQueues.empty()) notificationShown = false;
    }
    RunDecisionStep();
}

void FeaturedModesPlugin::OnGameflowSession(const ResourceEvent<GameflowSession>& event) {
    if (!IsUpdate(event.eventType)) return;
    gameflowPhase = event.data.phase;
    RunDecisionStep();
}

void FeaturedModesPlugin::OnGameflowAvailability(const ResourceEvent<GameflowAvailability>& event) {
    if (!IsUpdate(event.eventType)) return;
    const bool wasAvailable = gameflowAvailable;
    gameflowAvailable = event.data.isAvailable;
    if (!wasAvailable && gameflowAvailable) RunDecisionStep();
}

void FeaturedModesPlugin::OnPlayerNotification(const ResourceEvent<PlayerNotificationResource>& event) {
    const PlayerNotificationResource& notification = event.data;
    if (notification.source != "rgm" && notification.type != "mode_enabled") return;
    if (!IsUpdate(event.eventType)) return;
    if (notification.state != "read") return;
    SendRequest<void>(RequestMethod::Delete, FormatMessage("%1/%2", {kNotificationsPath, notification.id}));
}

void FeaturedModesPlugin::OnLoginSession(const ResourceEvent<LoginSession>& event) {
    if (event.eventType == PluginResourceEventType::Delete) {
        // Saving cancels the timer too.
        if (saveTimerPending) SaveNotificationTimestamp();
        summonerId = 0;
        return;
    }
    const LoginSession& session = event.data;
    if (summonerId != 0 || session.state != LoginSessionStates::Succeeded || session.accountId == 0 ||
        session.summonerId == 0) {
        return;
    }
    summonerId = session.summonerId;
    ObserveResource<BindingProperty>(
        FormatMessage("/qel-champions/v1/inventories/%1/champions-playable-count", {summonerId}),
        [this](const auto& event) { OnChampionsPlayableCount(event); });
}

void FeaturedModesPlugin::OnInitialConfigurationComplete(const ResourceEvent<BindingProperty>& event) {
    if (IsUpdate(event.eventType)) queueEligibilityReady = event.data.Truth();
}

void FeaturedModesPlugin::OnChampionsPlayableCount(const ResourceEvent<BindingProperty>& event) {
    if (IsUpdate(event.eventType)) RunDecisionStep();
}

}  // namespace Vorn::Client::FeaturedModes

// Whether the player is told that a featured mode is available, the posting
// of that one notification, and its removal.
#include <cstdint>
#include <random>

#include "featured-modes/featured_modes_plugin.h"
#include "formats/json_writer.h"
#include "logging/log_groups.h"
#include "logging/logger.h"
#include "platform/clock.h"
#include "platform/random_source.h"
#include "support/message_format.h"

namespace Vorn::Client::FeaturedModes {

namespace {

using Api::GameflowPhase;

constexpr GameflowPhase kNotifiablePhases[] = {GameflowPhase::None, GameflowPhase::Lobby};

bool IsNotifiablePhase(GameflowPhase phase) {
    for (GameflowPhase notifiable : kNotifiablePhases) {
        if (phase == notifiable) return true;
    }
    return false;
}

// The time rule: the earliest switch-on must be later than the last
// notification, and come at least the threshold after the earliest
// switch-off, or the earliest switch-off at least the threshold after the
// last notification. Differences are signed: a negative one never reaches
// the threshold.
bool PassesTimeRule(uint64_t lastNotification, uint64_t earliestOn, uint64_t earliestOff, uint64_t threshold) {
    if (lastNotification >= earliestOn) return false;
    const auto signedThreshold = static_cast<int64_t>(threshold);
    if (static_cast<int64_t>(earliestOn - earliestOff) >= signedThreshold) return true;
    return static_cast<int64_t>(earliestOff - lastNotification) >= signedThreshold;
}

uint64_t NowMilliseconds() { return Platform::SystemTimeTicks() / 10000; }

// Uniform over [0, 1), 53 bits from two outputs of a generator seeded once
// from the system's random source.
double UniformDraw() {
    std::mt19937 generator(static_cast<std::mt19937::result_type>(Platform::RandomUint64()));
    return std::generate_canonical<double, 53>(generator);
}

std::string AssetUrl(const Api::Maps& map, const char* asset) {
    auto found = map.assets.find(asset);
    return "/" + (found != map.assets.end() ? found->second : std::string());
}

}  // namespace

RequestResult<Api::Maps> FeaturedModesPlugin::GetMap(int32_t mapId, const std::string& gameMode) {
    return SendRequest<Api::Maps>(RequestMethod::Get, FormatMessage("/qel-maps/v2/map/%1/%2", {mapId, gameMode}));
}

bool FeaturedModesPlugin::FindNotifiableQueues() {
    if (notificationShown || summonerId == 0) return false;
    if (!configReceived || !settingsReady || !queueEligibilityReady) return false;
    if (!config.NotificationsEnabled || featuredQueues.empty() || !gameflowAvailable) return false;
    if (!IsNotifiablePhase(gameflowPhase)) return false;

    // In 64 bits: a 32-bit product would wrap above 71,582 minutes and turn a
    // large threshold into a small one.
    const uint64_t threshold = uint64_t{config.QueueToggleNotificationMinutesThreshold} * 60000u;
    if (!PassesTimeRule(rgmNotificationTimestamp, earliestToggledOnTime, earliestToggledOffTime, threshold)) {
        return false;
    }

    if (gameflowPhase == GameflowPhase::Lobby) {
        // A lobby that cannot be read counts as led by the player.
        const RequestResult<BindingProperty> lobby = SendRequest<BindingProperty>(RequestMethod::Get, "/qel-lobby/v2/lobby");
        if (lobby.Ok() && !lobby.Value().GetMember("localMember").GetMember("isLeader").Truth()) return false;
    }

    const std::vector<uint64_t> summoners{summonerId};
    std::vector<int32_t> queueIds;
    for (const auto& [id, queue] : featuredQueues) queueIds.push_back(id);
    const RequestResult<std::vector<Api::Eligibility>> eligibility = SendRequest<std::vector<Api::Eligibility>>(
        RequestMethod::Get, "/qel-queue-eligibility/v3/eligibility", Positional(summoners, queueIds));
    if (!eligibility.Ok()) return false;

    notifiableQueues.clear();
    for (const Api::Eligibility& entry : eligibility.Value()) {
        if (!entry.eligible) continue;
        // An answer about a queue we did not ask for names no featured mode;
        // adding it would put an empty record into the table and the
        // notification.
        auto found = featuredQueues.find(entry.queueId);
        if (found == featuredQueues.end()) continue;
        notifiableQueues.push_back(found->second);
    }
    return !notifiableQueues.empty();
}

void FeaturedModesPlugin::PostFeaturedModeNotification() {
    if (notifiableQueues.empty()) return;
    BindingResult queuesValue;
    NativeToValue(queuesValue, notifiableQueues, &Registry());
    if (!queuesValue.ok) {
        Log(kLogError, static_cast<uint32_t>(kLogGroupDBG), 0, "Failed to serialize queues to JSON");
        return;
    }
    // A copy: the list may be refilled while the map request waits.
    const Api::Queue first = notifiableQueues.front();
    Api::PlayerNotificationResource notification;
    notification.data["queues"] = SerializeJson(queuesValue.value, &Registry());
    notification.data["gameMode"] = first.gameMode;

    const RequestResult<Api::Maps> map = GetMap(first.mapId, first.gameMode);
    if (!map.Ok()) return;
    if (!map.Value().gameModeName.empty()) notification.data["gameModeName"] = map.Value().gameModeName;

    notificationShown = true;
    // critical false, id 0, expires and state empty: the record's defaults.
    notification.backgroundUrl = AssetUrl(map.Value(), "notification-background");
    notification.detailKey = "notifications_rgm_details";
    notification.iconUrl = AssetUrl(map.Value(), "notification-icon");
    notification.source = "rgm";
    notification.titleKey = "notifications_rgm_title_" + first.gameMode;
    notification.type = "mode_enabled";
    SendRequest<void>(RequestMethod::Post, kNotificationsPath, notification);

    rgmNotificationTimestamp = NowMilliseconds();
    if (saveTimerPending) return;  // the pending save writes the new time
    const double delaySeconds = UniformDraw() * config.MaxNotificationSaveDelayMinutes * 60.0;
    StartTimer(kSaveTimerName, delaySeconds, [this] { SaveNotificationTimestamp(); });
    saveTimerPending = true;
}

void FeaturedModesPlugin::RemoveFeaturedModeNotifications() {
    const RequestResult<std::vector<Api::PlayerNotificationResource>> posted =
        SendRequest<std::vector<Api::PlayerNotificationResource>>(RequestMethod::Get, kNotificationsPath);
    if (!posted.Ok()) return;
    for (const Api::PlayerNotificationResource& notification : posted.Value()) {
        if (notification.source != "rgm" || notification.type != "mode_enabled") continue;
        SendRequest<void>(RequestMethod::Delete, FormatMessage("%1/%2", {kNotificationsPath, notification.id}));
    }
}

}  // namespace Vorn::Client::FeaturedModes

#pragma once
// The records and enumerations the featured-modes service exchanges with the
// host, registered under the plug-in's type-name prefix. No member is
// required on input: an absent key keeps the default given here. Keys are the
// member names exactly, case included.
#include <cstdint>
#include <map>
#include <string>

#include "binding/binding_descriptor.h"
#include "binding/type_registry.h"

namespace Vorn::Client::FeaturedModes::Api {

struct PlayerNotificationResource {
    std::string backgroundUrl;
    bool critical = false;
    std::map<std::string, std::string> data;
    std::string detailKey;
    std::string expires;
    std::string iconUrl;
    uint64_t id = 0;
    std::string source;
    std::string state;
    std::string titleKey;
    std::string type;
};

enum class QueueAvailability : int32_t { Available = 0, PlatformDisabled = 1, DoesntMeetRequirements = 2 };

enum class QueueGameCategory : int32_t { None = 0, Custom = 1, PvP = 2, VersusAi = 3 };

struct Queue {
    int32_t id = 0;
    int32_t mapId = 0;
    std::string name;
    std::string gameMode;
    std::string gameMutator;
    QueueGameCategory category = QueueGameCategory::None;
    uint64_t lastToggledOffTime = 0;  // milliseconds since 1970 UTC
    uint64_t lastToggledOnTime = 0;
    QueueAvailability queueAvailability = QueueAvailability::Available;
};

enum class GameflowPhase : int32_t {
    None = 0,
    Lobby = 1,
    Matchmaking = 2,
    CheckedIntoTournament = 3,
    ReadyCheck = 4,
    ChampSelect = 5,
    GameStart = 6,
    FailedToLaunch = 7,
    InProgress = 8,
    Reconnect = 9,
    WaitingForStats = 10,
    PreEndOfGame = 11,
    EndOfGame = 12,
    TerminatedInError = 13,
};

struct GameflowSession {
    GameflowPhase phase = GameflowPhase::None;
};

enum class GameflowAvailabilityState : int32_t {
    Available = 0,
    Initializing = 1,
    Patching = 2,
    PlayerBanned = 3,
    InGameFlow = 4,
    Configuration = 5,
};

struct GameflowAvailability {
    bool isAvailable = false;
    GameflowAvailabilityState state = GameflowAvailabilityState::Initializing;
};

struct FeaturedModesConfig {
    bool NotificationsEnabled = true;
    uint32_t QueueToggleNotificationMinutesThreshold = 2880;  // 48 hours
    uint32_t MaxNotificationSaveDelayMinutes = 10;
};

struct Maps {
    std::string gameModeName;
    bool isRGM = false;  // the map runs a featured, rotating game mode
    std::map<std::string, std::string> assets;
};

struct Eligibility {
    int32_t queueId = 0;
    bool eligible = false;
};

// The numbers are not in registration order; values carry the numbers.
enum class LoginSessionStates : int32_t { InProgress = 0, Error = 3, Succeeded = 1, LoggingOut = 2 };

struct LoginSession {
    LoginSessionStates state = LoginSessionStates::InProgress;
    uint64_t summonerId = 0;
    uint64_t accountId = 0;
};

// Registers the thirteen types, in the order above, under prefix + name.
void RegisterFeaturedModesTypes(TypeRegistry& registry, const std::string& prefix);

}  // namespace Vorn::Client::FeaturedModes::Api

namespace Vorn {

namespace FeaturedModesApi = Client::FeaturedModes::Api;

template <>
struct BindingDescriptor<FeaturedModesApi::PlayerNotificationResource> {
    using T = FeaturedModesApi::PlayerNotificationResource;
    static constexpr const char* kName = "PlayerNotificationResource";
    static constexpr auto kFields = std::make_tuple(
        BindingField("backgroundUrl", &T::backgroundUrl), BindingField("critical", &T::critical),
        BindingField("data", &T::data), BindingField("detailKey", &T::detailKey),
        BindingField("expires", &T::expires), BindingField("iconUrl", &T::iconUrl), BindingField("id", &T::id),
        BindingField("source", &T::source), BindingField("state", &T::state), BindingField("titleKey", &T::titleKey),
        BindingField("type", &T::type));
};

template <>
struct BindingDescriptor<FeaturedModesApi::QueueAvailability> {
    using enum FeaturedModesApi::QueueAvailability;
    static constexpr const char* kName = "QueueAvailability";
    static constexpr BindingEnumeratorSpec kEnumerators[] = {
        BindingEnumerator("Available", Available), BindingEnumerator("PlatformDisabled", PlatformDisabled),
        BindingEnumerator("DoesntMeetRequirements", DoesntMeetRequirements)};
};

template <>
struct BindingDescriptor<FeaturedModesApi::QueueGameCategory> {
    using enum FeaturedModesApi::QueueGameCategory;
    static constexpr const char* kName = "QueueGameCategory";
    static constexpr BindingEnumeratorSpec kEnumerators[] = {
        BindingEnumerator("None", None), BindingEnumerator("Custom", Custom), BindingEnumerator("PvP", PvP),
        BindingEnumerator("VersusAi", VersusAi)};
};

template <>
struct BindingDescriptor<FeaturedModesApi::Queue> {
    using T = FeaturedModesApi::Queue;
    static constexpr const char* kName = "Queue";
    static constexpr auto kFields = std::make_tuple(
        BindingField("id", &T::id), BindingField("mapId", &T::mapId), BindingField("name", &T::name),
        BindingField("gameMode", &T::gameMode), BindingField("gameMutator", &T::gameMutator),
        BindingField("category", &T::category), BindingField("lastToggledOffTime", &T::lastToggledOffTime),
        BindingField("lastToggledOnTime", &T::lastToggledOnTime),
        BindingField("queueAvailability", &T::queueAvailability));
};

template <>
struct BindingDescriptor<FeaturedModesApi::GameflowPhase> {
    using enum FeaturedModesApi::GameflowPhase;
    static constexpr const char* kName = "GameflowPhase";
    static constexpr BindingEnumeratorSpec kEnumerators[] = {
        BindingEnumerator("None", None), BindingEnumerator("Lobby", Lobby),
        BindingEnumerator("Matchmaking", Matchmaking),
        BindingEnumerator("CheckedIntoTournament", CheckedIntoTournament),
        BindingEnumerator("ReadyCheck", ReadyCheck), BindingEnumerator("ChampSelect", ChampSelect),
        BindingEnumerator("GameStart", GameStart), BindingEnumerator("FailedToLaunch", FailedToLaunch),
        BindingEnumerator("InProgress", InProgress), BindingEnumerator("Reconnect", Reconnect),
        BindingEnumerator("WaitingForStats", WaitingForStats), BindingEnumerator("PreEndOfGame", PreEndOfGame),
        BindingEnumerator("EndOfGame", EndOfGame), BindingEnumerator("TerminatedInError", TerminatedInError)};
};

template <>
struct BindingDescriptor<FeaturedModesApi::GameflowSession> {
    static constexpr const char* kName = "GameflowSession";
    static constexpr auto kFields = std::make_tuple(BindingField("phase", &FeaturedModesApi::GameflowSession::phase));
};

template <>
struct BindingDescriptor<FeaturedModesApi::GameflowAvailabilityState> {
    using enum FeaturedModesApi::GameflowAvailabilityState;
    static constexpr const char* kName = "GameflowAvailabilityState";
    static constexpr BindingEnumeratorSpec kEnumerators[] = {
        BindingEnumerator("Available", Available), BindingEnumerator("Initializing", Initializing),
        BindingEnumerator("Patching", Patching), BindingEnumerator("PlayerBanned", PlayerBanned),
        BindingEnumerator("InGameFlow", InGameFlow), BindingEnumerator("Configuration", Configuration)};
};

template <>
struct BindingDescriptor<FeaturedModesApi::GameflowAvailability> {
    using T = FeaturedModesApi::GameflowAvailability;
    static constexpr const char* kName = "GameflowAvailability";
    static constexpr auto kFields =
        std::make_tuple(BindingField("isAvailable", &T::isAvailable), BindingField("state", &T::state));
};

template <>
struct BindingDescriptor<FeaturedModesApi::FeaturedModesConfig> {
    using T = FeaturedModesApi::FeaturedModesConfig;
    static constexpr const char* kName = "FeaturedModesConfig";
    static constexpr auto kFields = std::make_tuple(
        BindingField("NotificationsEnabled", &T::NotificationsEnabled),
        BindingField("QueueToggleNotificationMinutesThreshold", &T::QueueToggleNotificationMinutesThreshold),
        BindingField("MaxNotificationSaveDelayMinutes", &T::MaxNotificationSaveDelayMinutes));
};

template <>
struct BindingDescriptor<FeaturedModesApi::Maps> {
    using T = FeaturedModesApi::Maps;
    static constexpr const char* kName = "Maps";
    static constexpr auto kFields = std::make_tuple(BindingField("gameModeName", &T::gameModeName),
                                                    BindingField("isRGM", &T::isRGM),
                                                    BindingField("assets", &T::assets));
};

template <>
struct BindingDescriptor<FeaturedModesApi::Eligibility> {
    using T = FeaturedModesApi::Eligibility;
    static constexpr const char* kName = "Eligibility";
    static constexpr auto kFields =
        std::make_tuple(BindingField("queueId", &T::queueId), BindingField("eligible", &T::eligible));
};

template <>
struct BindingDescriptor<FeaturedModesApi::LoginSessionStates> {
    using enum FeaturedModesApi::LoginSessionStates;
    static constexpr const char* kName = "LoginSessionStates";
    static constexpr BindingEnumeratorSpec kEnumerators[] = {
        BindingEnumerator("IN_PROGRESS", InProgress), BindingEnumerator("ERROR", Error),
        BindingEnumerator("SUCCEEDED", Succeeded), BindingEnumerator("LOGGING_OUT", LoggingOut)};
};

template <>
struct BindingDescriptor<FeaturedModesApi::LoginSession> {
    using T = FeaturedModesApi::LoginSession;
    static constexpr const char* kName = "LoginSession";
    static constexpr auto kFields = std::make_tuple(BindingField("state", &T::state),
                                                    BindingField("summonerId", &T::summonerId),
                                                    BindingField("accountId", &T::accountId));
};

}  // namespace Vorn

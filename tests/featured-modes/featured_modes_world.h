#pragma once
// The featured-modes plug-in loaded into a simulated host whose world is set
// up for a notification: a logged-in player, configuration and settings in
// the store, maps, lobby and eligibility endpoints. MakeReady() sends the
// first Updates the service waits for; QueuesUpdate() switches queues on.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host_test_helpers.h"

namespace Vorn::Testing {

inline constexpr const char* kQueuesPath = "/qel-game-queues/v1/queues";
inline constexpr const char* kSettingsPath = "/qel-settings/v1/account/qel-notifications";
inline constexpr const char* kNotificationsPath = "/player-notifications/v1/notifications";
inline constexpr const char* kEligibilityPath = "/qel-queue-eligibility/v3/eligibility";
inline constexpr const char* kLobbyPath = "/qel-lobby/v2/lobby";
inline constexpr const char* kConfigPath = "/qel-platform-config/v1/namespaces/FeaturedModes";
inline constexpr uint64_t kMinute = 60ull * 1000000000ull;

// A queue on the featured map 12 in mode XMODE, switched on at `on`.
inline std::string FeaturedQueue(int id, uint64_t on, uint64_t off = 0, const char* mode = "XMODE") {
    return "{\"id\":" + std::to_string(id) + ",\"mapId\":12,\"name\":\"Example\",\"gameMode\":\"" + mode +
           "\",\"gameMutator\":\"\",\"category\":\"PvP\",\"lastToggledOffTime\":" + std::to_string(off) +
           ",\"lastToggledOnTime\":" + std::to_string(on) + ",\"queueAvailability\":\"Available\"}";
}

class World {
public:
    World() {
        host_.SetResource(kConfigPath, Json(R"({"NotificationsEnabled":true})"));
        host_.SetResource("/qel-login/v1/session", Json(R"({"state":"SUCCEEDED","summonerId":42,"accountId":7})"));
        SetMap("/qel-maps/v2/map/12/XMODE",
               R"({"gameModeName":"Example Mode","isRGM":true,)"
               R"("assets":{"notification-icon":"icons/x.png","notification-background":"bg/x.jpg"}})");
        SetMap("/qel-maps/v2/map/12/YMODE", R"({"gameModeName":"","isRGM":true,"assets":{}})");
        SetMap("/qel-maps/v2/map/11/CLASSIC", R"({"gameModeName":"Classic","isRGM":false})");
        SetEligible({1200});
        host_.SetResource(kLobbyPath, Json(R"({"localMember":{"isLeader":true}})"));
        host_.SetResource(kNotificationsPath, Json("[]"));
    }

    void SetMap(const std::string& path, const char* json) { host_.SetResource(path, Json(json)); }

    // The eligibility endpoint answers these ids eligible, in this order.
    void SetEligible(std::vector<int> ids) {
        host_.SetEndpoint(kHostMethodGet, kEligibilityPath, [ids](const Host::RecordedRequest& request) {
            BindingProperty answer;
            answer.MakeCollection();
            for (int id : ids) {
                BindingProperty& entry = answer.AppendElement();
                entry.Member("queueId").SetSigned(id);
                entry.Member("eligible").SetBool(true);
            }
            // Every asked id that is not eligible is answered as such.
            for (const BindingProperty& asked : request.parameters.size() == 2 ? request.parameters[1].value.Elements()
                                                                              : std::span<const BindingProperty>()) {
                bool listed = false;
                for (int id : ids) listed = listed || asked.AsSigned(static_cast<int64_t>(asked.AsUnsigned())) == id;
                if (listed) continue;
                BindingProperty& entry = answer.AppendElement();
                entry.Member("queueId") = asked;
                entry.Member("eligible").SetBool(false);
            }
            return Host::Answer::Body(std::move(answer));
        });
    }

    void LoadAndStart() {
        std::string error;
        ASSERT_TRUE(host_.Load(VORN_FEATURED_MODES_PATH, &error)) << error;
        ASSERT_TRUE(host_.Start());
    }

    // Stop and load again; the store is kept, as across a real restart.
    void Restart() {
        host_.Unload();
        LoadAndStart();
    }

    // The Updates the service waits for before it may notify, but the one
    // for `skipped`.
    void MakeReady(const char* phase = "None", std::string_view skipped = {}) {
        const std::pair<std::string_view, std::string> updates[] = {
            {"/qel-settings/v2/ready", "{}"},
            {"/qel-queue-eligibility/v1/initial-configuration-complete", "true"},
            {"/qel-gameflow/v1/session", std::string(R"({"phase":")") + phase + "\"}"},
            {"/qel-gameflow/v1/availability", R"({"isAvailable":true,"state":"Available"})"},
        };
        for (const auto& [path, body] : updates) {
            if (path != skipped) host_.Update(std::string(path), Json(body));
        }
    }

    void QueuesUpdate(const std::string& queuesJson) { host_.Update(kQueuesPath, Json(queuesJson)); }

    std::vector<const Host::RecordedRequest*> Posts() const {
        return RequestsTo(host_, kHostMethodPost, kNotificationsPath);
    }
    std::vector<const Host::RecordedRequest*> Patches() const {
        return RequestsTo(host_, kHostMethodPatch, kSettingsPath);
    }
    std::size_t RequestCount() const { return host_.Requests().size(); }
    // The save timer's firings handed to the host.
    std::vector<const Host::RecordedTask*> SaveTimers() const {
        std::vector<const Host::RecordedTask*> found;
        for (const Host::RecordedTask& task : host_.Tasks()) {
            if (task.name == "Timer: featured-mode-notifications.Save") found.push_back(&task);
        }
        return found;
    }

    Host::SimulatedHost host_;
};

class FeaturedModesWorld : public ::testing::Test, public World {};

}  // namespace Vorn::Testing

#pragma once
// The game-queue record of the conversion and runtime-path benchmarks: nine
// members (ints, strings, two enums, 64-bit times), registered once, and
// lists of it as a plug-in receives them.
#include <string>
#include <vector>

#include "binding/binding_descriptor.h"
#include "binding/type_registry.h"

namespace VornBench {

enum class QueueCategory : int32_t { None = 0, Custom = 1, PvP = 2, VersusAi = 3 };
enum class QueueAvailability : int32_t { Available = 0, PlatformDisabled = 1, DoesntMeetRequirements = 2 };

struct QueueRecord {
    int32_t id = 0;
    int32_t mapId = 0;
    std::string name;
    std::string gameMode;
    std::string gameMutator;
    QueueCategory category = QueueCategory::None;
    uint64_t lastToggledOffTime = 0;
    uint64_t lastToggledOnTime = 0;
    QueueAvailability queueAvailability = QueueAvailability::Available;
};

inline constexpr const char* kCategoryNames[] = {"None", "Custom", "PvP", "VersusAi"};
inline constexpr const char* kAvailabilityNames[] = {"Available", "PlatformDisabled", "DoesntMeetRequirements"};

}  // namespace VornBench

namespace Vorn {

template <>
struct BindingDescriptor<VornBench::QueueCategory> {
    static constexpr const char* kName = "BenchQueueCategory";
    static constexpr BindingEnumeratorSpec kEnumerators[] = {{"None", 0}, {"Custom", 1}, {"PvP", 2}, {"VersusAi", 3}};
};
template <>
struct BindingDescriptor<VornBench::QueueAvailability> {
    static constexpr const char* kName = "BenchQueueAvailability";
    static constexpr BindingEnumeratorSpec kEnumerators[] = {
        {"Available", 0}, {"PlatformDisabled", 1}, {"DoesntMeetRequirements", 2}};
};
template <>
struct BindingDescriptor<VornBench::QueueRecord> {
    using T = VornBench::QueueRecord;
    static constexpr const char* kName = "BenchQueue";
    static constexpr auto kFields = std::make_tuple(
        BindingField("id", &T::id), BindingField("mapId", &T::mapId), BindingField("name", &T::name),
        BindingField("gameMode", &T::gameMode), BindingField("gameMutator", &T::gameMutator),
        BindingField("category", &T::category), BindingField("lastToggledOffTime", &T::lastToggledOffTime),
        BindingField("lastToggledOnTime", &T::lastToggledOnTime),
        BindingField("queueAvailability", &T::queueAvailability));
};

}  // namespace Vorn

namespace VornBench {

inline void RegisterQueueTypes(Vorn::TypeRegistry& registry) {
    Vorn::RegisterBindingType<QueueCategory>(registry);
    Vorn::RegisterBindingType<QueueAvailability>(registry);
    Vorn::RegisterBindingType<QueueRecord>(registry);
}

// count queues, each member filled and varied.
inline std::vector<QueueRecord> MakeQueues(int count) {
    std::vector<QueueRecord> list;
    for (int i = 0; i < count; ++i) {
        list.push_back(QueueRecord{400 + i, 10 + i % 30, "Queue number " + std::to_string(i),
                                   i % 4 == 0 ? "URF" : "CLASSIC", i % 7 == 0 ? "mutator" : "",
                                   static_cast<QueueCategory>(i % 4), 1700000000000ULL + static_cast<uint64_t>(i),
                                   1700000500000ULL + static_cast<uint64_t>(i), static_cast<QueueAvailability>(i % 3)});
    }
    return list;
}

}  // namespace VornBench

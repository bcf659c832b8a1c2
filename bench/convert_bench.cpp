// Native records to values and back: a list of 1,000 game-queue records of
// nine members (ints, strings, two enums, 64-bit times), through the
// registry's descriptions and through conversion code written by hand.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "binding/binding_descriptor.h"
#include "queue_record.h"

namespace VornBench {
namespace {

using Vorn::BindingKind;
using Vorn::BindingProperty;

const Vorn::TypeRegistry& Registry() {
    static Vorn::TypeRegistry* registry = [] {
        auto* r = new Vorn::TypeRegistry();
        r->SetUp();
        RegisterQueueTypes(*r);
        return r;
    }();
    return *registry;
}

const std::vector<QueueRecord>& Queues() {
    static const std::vector<QueueRecord> queues = MakeQueues(1000);
    return queues;
}

void HandwrittenToValue(BindingProperty& root, const std::vector<QueueRecord>& queues) {
    root.MakeCollection();
    root.Reserve(queues.size());
    for (const QueueRecord& q : queues) {
        BindingProperty& item = root.AppendElement();
        item.Member("id").SetSigned(q.id);
        item.Member("mapId").SetSigned(q.mapId);
        item.Member("name").SetString(std::string_view(q.name));
        item.Member("gameMode").SetString(std::string_view(q.gameMode));
        item.Member("gameMutator").SetString(std::string_view(q.gameMutator));
        item.Member("category").SetEnum(static_cast<int32_t>(q.category), &Vorn::TypeIdOf<QueueCategory>());
        item.Member("lastToggledOffTime").SetUnsigned(q.lastToggledOffTime);
        item.Member("lastToggledOnTime").SetUnsigned(q.lastToggledOnTime);
        item.Member("queueAvailability")
            .SetEnum(static_cast<int32_t>(q.queueAvailability), &Vorn::TypeIdOf<QueueAvailability>());
    }
}

// The checks a careful hand-written reader makes: kinds, ranges, enum names.
bool ReadInt32(const BindingProperty& v, int32_t& out) {
    if (v.Kind() == BindingKind::Signed && v.AsSigned() >= INT32_MIN && v.AsSigned() <= INT32_MAX) {
        out = static_cast<int32_t>(v.AsSigned());
        return true;
    }
    if (v.Kind() == BindingKind::Unsigned && v.AsUnsigned() <= INT32_MAX) {
        out = static_cast<int32_t>(v.AsUnsigned());
        return true;
    }
    return v.IsEmpty();
}

bool ReadUInt64(const BindingProperty& v, uint64_t& out) {
    if (v.Kind() == BindingKind::Unsigned) {
        out = v.AsUnsigned();
        return true;
    }
    return v.IsEmpty();
}

bool ReadString(const BindingProperty& v, std::string& out) {
    if (v.Kind() == BindingKind::String) {
        out.assign(v.AsString());
        return true;
    }
    return v.IsEmpty();
}

template <typename E, std::size_t N>
bool ReadEnum(const BindingProperty& v, E& out, const char* const (&names)[N]) {
    if (v.Kind() == BindingKind::Enum || v.Kind() == BindingKind::Signed) {
        int64_t n = v.Kind() == BindingKind::Enum ? v.AsEnum().value : v.AsSigned();
        if (n < 0 || n >= static_cast<int64_t>(N)) return false;
        out = static_cast<E>(n);
        return true;
    }
    if (v.Kind() == BindingKind::String) {
        for (std::size_t i = 0; i < N; ++i) {
            if (v.AsString() == names[i]) {
                out = static_cast<E>(i);
                return true;
            }
        }
        return false;
    }
    return v.IsEmpty();
}

bool HandwrittenFromValue(std::vector<QueueRecord>& queues, const BindingProperty& root) {
    queues.clear();
    if (root.Kind() != BindingKind::Collection) return false;
    queues.resize(root.Count());
    std::size_t i = 0;
    for (const BindingProperty& item : root.Elements()) {
        QueueRecord& q = queues[i++];
        if (item.Kind() != BindingKind::Structure) return false;
        bool ok = ReadInt32(item.GetMember("id"), q.id) && ReadInt32(item.GetMember("mapId"), q.mapId) &&
                  ReadString(item.GetMember("name"), q.name) && ReadString(item.GetMember("gameMode"), q.gameMode) &&
                  ReadString(item.GetMember("gameMutator"), q.gameMutator) &&
                  ReadEnum(item.GetMember("category"), q.category, kCategoryNames) &&
                  ReadUInt64(item.GetMember("lastToggledOffTime"), q.lastToggledOffTime) &&
                  ReadUInt64(item.GetMember("lastToggledOnTime"), q.lastToggledOnTime) &&
                  ReadEnum(item.GetMember("queueAvailability"), q.queueAvailability, kAvailabilityNames);
        if (!ok) return false;
    }
    return true;
}

void ToValueVorn(benchmark::State& state) {
    const auto& queues = Queues();
    const auto& registry = Registry();
    for (auto _ : state) {
        Vorn::BindingResult result;
        Vorn::NativeToValue(result, queues, &registry);
        benchmark::DoNotOptimize(&result);
        if (!result.ok) state.SkipWithError("conversion failed");
    }
}

void ToValueHandwritten(benchmark::State& state) {
    const auto& queues = Queues();
    for (auto _ : state) {
        BindingProperty root;
        HandwrittenToValue(root, queues);
        benchmark::DoNotOptimize(&root);
    }
}

const BindingProperty& QueuesAsValue() {
    static const BindingProperty value = [] {
        Vorn::BindingResult result;
        Vorn::NativeToValue(result, Queues(), &Registry());
        return std::move(result.value);
    }();
    return value;
}

void FromValueVorn(benchmark::State& state) {
    const BindingProperty& input = QueuesAsValue();
    const auto& registry = Registry();
    std::vector<QueueRecord> queues;
    for (auto _ : state) {
        Vorn::BindingResult result;
        Vorn::ValueToNative(result, queues, input, "<value>", &registry);
        benchmark::DoNotOptimize(queues.data());
        if (!result.ok || queues.size() != 1000) state.SkipWithError("conversion failed");
    }
}

void FromValueHandwritten(benchmark::State& state) {
    const BindingProperty& input = QueuesAsValue();
    std::vector<QueueRecord> queues;
    for (auto _ : state) {
        bool ok = HandwrittenFromValue(queues, input);
        benchmark::DoNotOptimize(queues.data());
        if (!ok || queues.size() != 1000) state.SkipWithError("conversion failed");
    }
}

void Register() {
    benchmark::RegisterBenchmark("ConvertToValue/queues1000/vorn", ToValueVorn)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("ConvertToValue/queues1000/handwritten", ToValueHandwritten)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("ConvertFromValue/queues1000/vorn", FromValueVorn)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("ConvertFromValue/queues1000/handwritten", FromValueHandwritten)
        ->Unit(benchmark::kMicrosecond);
}

const int kRegistered = (Register(), 0);

}  // namespace
}  // namespace VornBench

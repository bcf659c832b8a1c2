// Building and dropping trees: a structure of 10,000 members with string
// values, and a collection of 100,000 small structures, as a
// Vorn::BindingProperty, a RapidJSON Document (MemoryPoolAllocator) and an
// nlohmann::json.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <string>
#include <vector>

#include "binding/binding_property.h"
#include "counting_allocators.h"

namespace VornBench {
namespace {

using RapidDocument = rapidjson::GenericDocument<rapidjson::UTF8<>, rapidjson::MemoryPoolAllocator<CountingRapidJsonAllocator>,
                                                 CountingRapidJsonAllocator>;
using RapidValue = RapidDocument::ValueType;

struct Struct10k {
    std::vector<std::string> keys;
    std::vector<std::string> values;
    Struct10k() {
        // Keys in a scrambled order, as documents bring them.
        for (int i = 0; i < 10000; ++i) {
            int k = (i * 7919) % 10000;
            char key[32];
            std::snprintf(key, sizeof(key), "member%05d", k);
            keys.emplace_back(key);
            values.push_back("value of member " + std::to_string(k));
        }
    }
};

struct List100k {
    std::vector<std::string> names;
    List100k() {
        for (int i = 0; i < 100000; ++i) names.push_back("item " + std::to_string(i));
    }
};

const Struct10k& StructData() {
    static const Struct10k data;
    return data;
}
const List100k& ListData() {
    static const List100k data;
    return data;
}

void BuildStruct(Vorn::BindingProperty& root) {
    const Struct10k& d = StructData();
    for (std::size_t i = 0; i < d.keys.size(); ++i) root.Member(d.keys[i]).SetString(d.values[i]);
}

void BuildStruct(RapidDocument& doc) {
    const Struct10k& d = StructData();
    auto& alloc = doc.GetAllocator();
    doc.SetObject();
    for (std::size_t i = 0; i < d.keys.size(); ++i) {
        RapidValue key(d.keys[i].data(), static_cast<rapidjson::SizeType>(d.keys[i].size()), alloc);
        RapidValue value(d.values[i].data(), static_cast<rapidjson::SizeType>(d.values[i].size()), alloc);
        doc.AddMember(key, value, alloc);
    }
}

void BuildStruct(nlohmann::json& j) {
    const Struct10k& d = StructData();
    j = nlohmann::json::object();
    for (std::size_t i = 0; i < d.keys.size(); ++i) j[d.keys[i]] = d.values[i];
}

void BuildList(Vorn::BindingProperty& root) {
    const List100k& d = ListData();
    root.MakeCollection();
    root.Reserve(d.names.size());
    for (std::size_t i = 0; i < d.names.size(); ++i) {
        Vorn::BindingProperty& item = root.AppendElement();
        item.Member("active").SetBool(i % 3 == 0);
        item.Member("id").SetUnsigned(i);
        item.Member("name").SetString(d.names[i]);
        item.Member("score").SetDouble(static_cast<double>(i) * 0.5);
    }
}

void BuildList(RapidDocument& doc) {
    const List100k& d = ListData();
    auto& alloc = doc.GetAllocator();
    doc.SetArray();
    doc.Reserve(static_cast<rapidjson::SizeType>(d.names.size()), alloc);
    for (std::size_t i = 0; i < d.names.size(); ++i) {
        RapidValue item(rapidjson::kObjectType);
        item.AddMember("active", i % 3 == 0, alloc);
        item.AddMember("id", static_cast<uint64_t>(i), alloc);
        item.AddMember("name", RapidValue(d.names[i].data(), static_cast<rapidjson::SizeType>(d.names[i].size()), alloc),
                       alloc);
        item.AddMember("score", static_cast<double>(i) * 0.5, alloc);
        doc.PushBack(item, alloc);
    }
}

void BuildList(nlohmann::json& j) {
    const List100k& d = ListData();
    j = nlohmann::json::array();
    j.get_ref<nlohmann::json::array_t&>().reserve(d.names.size());
    for (std::size_t i = 0; i < d.names.size(); ++i) {
        nlohmann::json item = nlohmann::json::object();
        item["active"] = i % 3 == 0;
        item["id"] = static_cast<uint64_t>(i);
        item["name"] = d.names[i];
        item["score"] = static_cast<double>(i) * 0.5;
        j.push_back(std::move(item));
    }
}

// Builds one tree outside the timed loop and reports what it took: system
// allocations (heap blocks and page-pool regions) and the bytes it holds.
template <typename Tree, typename Build>
void ReportFootprint(benchmark::State& state, Build build) {
    AllocationProbe probe;
    uint64_t bytes = 0;
    {
        FootprintProbe footprint;
        Tree tree;
        build(tree);
        bytes = footprint.Bytes();
    }
    const double allocations = static_cast<double>(probe.SystemAllocations());
    state.counters["sys_allocs"] = allocations;
    state.counters["tree_KiB"] = static_cast<double>(bytes) / 1024.0;
    state.counters["sys_allocs_per_4KiB"] = allocations / (static_cast<double>(bytes) / 4096.0);
}

template <typename Tree, void (*Build)(Tree&)>
void BuildAndDrop(benchmark::State& state) {
    for (auto _ : state) {
        Tree tree;
        Build(tree);
        benchmark::DoNotOptimize(&tree);
    }
    ReportFootprint<Tree>(state, Build);
}

void Register() {
    using Vorn::BindingProperty;
    benchmark::RegisterBenchmark("ValueBuild/struct10k/vorn", BuildAndDrop<BindingProperty, BuildStruct>);
    benchmark::RegisterBenchmark("ValueBuild/struct10k/rapidjson", BuildAndDrop<RapidDocument, BuildStruct>);
    benchmark::RegisterBenchmark("ValueBuild/struct10k/nlohmann", BuildAndDrop<nlohmann::json, BuildStruct>);
    benchmark::RegisterBenchmark("ValueBuild/list100k/vorn", BuildAndDrop<BindingProperty, BuildList>)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ValueBuild/list100k/rapidjson", BuildAndDrop<RapidDocument, BuildList>)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ValueBuild/list100k/nlohmann", BuildAndDrop<nlohmann::json, BuildList>)
        ->Unit(benchmark::kMillisecond);
}

const int kRegistered = (Register(), 0);

}  // namespace
}  // namespace VornBench

// How the cost grows with the input: synthetic documents of 1, 8 and 64 MiB
// (generated on first use, never stored) read as JSON and as MessagePack, and
// structures of 1k, 10k, 100k and 1M members built and dropped. The figure
// that matters is the time per byte (per member) at the largest size over the
// smallest; scripts/bench-ratios prints it. The comparison libraries run the
// same inputs for context.
#define MSGPACK_NO_BOOST
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <msgpack.hpp>
#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/reader.h>
#include <string>
#include <vector>

#include "binding/binding_property.h"
#include "binding/page_pool.h"
#include "formats/json_reader.h"
#include "formats/msgpack_reader.h"

namespace VornBench {
namespace {

// xorshift64*: the same documents on every run.
class Random {
public:
    uint64_t Next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1DULL;
    }
    uint64_t Below(uint64_t n) { return Next() % n; }

private:
    uint64_t state_ = 0x9E3779B97F4A7C15ULL;
};

constexpr const char* kRegions[] = {"euw", "eune", "na", "br", "lan", "las", "oce", "kr"};
constexpr const char* kTags[] = {"ranked", "casual", "streamer", "verified", "new", "veteran"};

// One player record, the shape of a typical host response item: two texts
// unique to the record, repeated words, numbers, a list and a nested record.
struct Record {
    uint64_t id;
    std::string user;
    std::string guid;
    bool online;
    uint64_t level;
    double rating;
    const char* region;
    std::vector<const char*> tags;
    uint64_t wins;
    uint64_t losses;
    double ratio;
};

Record MakeRecord(Random& random, uint64_t id) {
    Record r;
    r.id = id;
    r.user = "player" + std::to_string(random.Below(1000000000));
    char guid[17];
    std::snprintf(guid, sizeof(guid), "%016llx", static_cast<unsigned long long>(random.Next()));
    r.guid = guid;
    r.online = random.Below(2) == 0;
    r.level = random.Below(500);
    r.rating = static_cast<double>(random.Below(100000)) / 64.0;
    r.region = kRegions[random.Below(std::size(kRegions))];
    for (uint64_t i = random.Below(4); i > 0; --i) r.tags.push_back(kTags[random.Below(std::size(kTags))]);
    r.wins = random.Below(5000);
    r.losses = random.Below(5000);
    r.ratio = static_cast<double>(r.wins) / static_cast<double>(r.wins + r.losses + 1);
    return r;
}

void AppendJson(std::string& out, const Record& r) {
    char number[64];
    out += "{\"id\":" + std::to_string(r.id);
    out += ",\"user\":\"" + r.user + "\",\"guid\":\"" + r.guid + "\",\"online\":";
    out += r.online ? "true" : "false";
    out += ",\"level\":" + std::to_string(r.level);
    std::snprintf(number, sizeof(number), "%.17g", r.rating);
    out += ",\"rating\":";
    out += number;
    out += ",\"region\":\"";
    out += r.region;
    out += "\",\"tags\":[";
    for (std::size_t i = 0; i < r.tags.size(); ++i) {
        if (i != 0) out += ',';
        out += '"';
        out += r.tags[i];
        out += '"';
    }
    std::snprintf(number, sizeof(number), "%.17g", r.ratio);
    out += "],\"stats\":{\"wins\":" + std::to_string(r.wins) + ",\"losses\":" + std::to_string(r.losses) +
           ",\"ratio\":" + number + "}}";
}

void PackRecord(msgpack::packer<msgpack::sbuffer>& packer, const Record& r) {
    packer.pack_map(9);
    packer.pack("id");
    packer.pack(r.id);
    packer.pack("user");
    packer.pack(r.user);
    packer.pack("guid");
    packer.pack(r.guid);
    packer.pack("online");
    packer.pack(r.online);
    packer.pack("level");
    packer.pack(r.level);
    packer.pack("rating");
    packer.pack(r.rating);
    packer.pack("region");
    packer.pack(std::string(r.region));
    packer.pack("tags");
    packer.pack_array(static_cast<uint32_t>(r.tags.size()));
    for (const char* tag : r.tags) packer.pack(std::string(tag));
    packer.pack("stats");
    packer.pack_map(3);
    packer.pack("wins");
    packer.pack(r.wins);
    packer.pack("losses");
    packer.pack(r.losses);
    packer.pack("ratio");
    packer.pack(r.ratio);
}

// A JSON array of records, as long as needed to reach the size.
std::string MakeJson(std::size_t bytes) {
    Random random;
    std::string text = "[";
    for (uint64_t id = 0; text.size() < bytes; ++id) {
        if (id != 0) text += ',';
        AppendJson(text, MakeRecord(random, id));
    }
    text += ']';
    return text;
}

// The same records in MessagePack, as many as reach the size.
std::string MakeMessagePack(std::size_t bytes) {
    Random random;
    std::vector<Record> records;
    std::size_t estimate = 0;
    while (estimate < bytes) {
        records.push_back(MakeRecord(random, records.size()));
        msgpack::sbuffer one;
        msgpack::packer<msgpack::sbuffer> packer(one);
        PackRecord(packer, records.back());
        estimate += one.size();
    }
    msgpack::sbuffer buffer;
    msgpack::packer<msgpack::sbuffer> packer(buffer);
    packer.pack_array(static_cast<uint32_t>(records.size()));
    for (const Record& r : records) PackRecord(packer, r);
    return std::string(buffer.data(), buffer.size());
}

const std::string& JsonDocument(std::size_t mebibytes) {
    static std::map<std::size_t, std::string> documents;
    auto found = documents.find(mebibytes);
    if (found == documents.end()) found = documents.emplace(mebibytes, MakeJson(mebibytes << 20)).first;
    return found->second;
}

const std::string& MessagePackDocument(std::size_t mebibytes) {
    static std::map<std::size_t, std::string> documents;
    auto found = documents.find(mebibytes);
    if (found == documents.end()) found = documents.emplace(mebibytes, MakeMessagePack(mebibytes << 20)).first;
    return found->second;
}

// The large trees of a series leave the page pool a reserve of their size,
// which would go back while the next benchmarks run and be charged to them:
// it goes back when the series' benchmark ends.
void HandBackReserve() { Vorn::PagePool::Instance().ReleaseReserve(); }

void JsonVorn(benchmark::State& state, std::size_t mebibytes) {
    const std::string& text = JsonDocument(mebibytes);
    if (!Vorn::DeserializeJson(text).ok) return state.SkipWithError("not read");
    for (auto _ : state) {
        Vorn::BindingResult result = Vorn::DeserializeJson(text);
        benchmark::DoNotOptimize(&result);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    HandBackReserve();
}

void JsonRapidDocument(benchmark::State& state, std::size_t mebibytes) {
    const std::string& text = JsonDocument(mebibytes);
    for (auto _ : state) {
        rapidjson::Document document;
        document.Parse(text.c_str());
        benchmark::DoNotOptimize(&document);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void JsonRapidNull(benchmark::State& state, std::size_t mebibytes) {
    const std::string& text = JsonDocument(mebibytes);
    for (auto _ : state) {
        rapidjson::BaseReaderHandler<> handler;
        rapidjson::Reader reader;
        rapidjson::StringStream stream(text.c_str());
        auto result = reader.Parse<rapidjson::kParseDefaultFlags>(stream, handler);
        benchmark::DoNotOptimize(&result);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void MsgpackVorn(benchmark::State& state, std::size_t mebibytes) {
    const std::string& bytes = MessagePackDocument(mebibytes);
    std::size_t consumed = 0;
    if (!Vorn::ReadMessagePack(bytes, &consumed).ok || consumed != bytes.size()) {
        return state.SkipWithError("not read");
    }
    for (auto _ : state) {
        Vorn::BindingResult result = Vorn::ReadMessagePack(bytes, &consumed);
        benchmark::DoNotOptimize(&result);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
    HandBackReserve();
}

void MsgpackCxx(benchmark::State& state, std::size_t mebibytes) {
    const std::string& bytes = MessagePackDocument(mebibytes);
    for (auto _ : state) {
        msgpack::object_handle handle = msgpack::unpack(bytes.data(), bytes.size());
        benchmark::DoNotOptimize(&handle);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

// Members in a scrambled order with string values, as ValueBuild/struct10k.
struct Members {
    std::vector<std::string> keys;
    std::vector<std::string> values;
};

const Members& MembersOf(std::size_t count) {
    static std::map<std::size_t, Members> built;
    auto found = built.find(count);
    if (found != built.end()) return found->second;
    Members& m = built[count];
    // A step coprime with every count used visits each index once.
    const std::size_t step = 7919;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t k = (i * step) % count;
        char key[32];
        std::snprintf(key, sizeof(key), "member%07zu", k);
        m.keys.emplace_back(key);
        m.values.push_back("value of member " + std::to_string(k));
    }
    return m;
}

void BuildVorn(benchmark::State& state, std::size_t count) {
    const Members& m = MembersOf(count);
    for (auto _ : state) {
        Vorn::BindingProperty root;
        for (std::size_t i = 0; i < count; ++i) root.Member(m.keys[i]).SetString(m.values[i]);
        benchmark::DoNotOptimize(&root);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
    HandBackReserve();
}

void BuildRapid(benchmark::State& state, std::size_t count) {
    const Members& m = MembersOf(count);
    for (auto _ : state) {
        rapidjson::Document document;
        auto& allocator = document.GetAllocator();
        document.SetObject();
        for (std::size_t i = 0; i < count; ++i) {
            rapidjson::Value key(m.keys[i].data(), static_cast<rapidjson::SizeType>(m.keys[i].size()), allocator);
            rapidjson::Value value(m.values[i].data(), static_cast<rapidjson::SizeType>(m.values[i].size()),
                                   allocator);
            document.AddMember(key, value, allocator);
        }
        benchmark::DoNotOptimize(&document);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
}

void BuildNlohmann(benchmark::State& state, std::size_t count) {
    const Members& m = MembersOf(count);
    for (auto _ : state) {
        nlohmann::json object = nlohmann::json::object();
        for (std::size_t i = 0; i < count; ++i) object[m.keys[i]] = m.values[i];
        benchmark::DoNotOptimize(&object);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
}

void Register() {
    for (std::size_t mebibytes : {1, 8, 64}) {
        const std::string size = std::to_string(mebibytes) + "MiB/";
        benchmark::RegisterBenchmark(("GrowthJsonRead/" + size + "vorn").c_str(), JsonVorn, mebibytes)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("GrowthJsonRead/" + size + "rapidjson_null").c_str(), JsonRapidNull, mebibytes)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("GrowthJsonRead/" + size + "rapidjson_doc").c_str(), JsonRapidDocument,
                                     mebibytes)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("GrowthMsgpackRead/" + size + "vorn").c_str(), MsgpackVorn, mebibytes)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("GrowthMsgpackRead/" + size + "msgpack_cxx").c_str(), MsgpackCxx, mebibytes)
            ->Unit(benchmark::kMillisecond);
    }
    for (std::size_t count : {1000, 10000, 100000, 1000000}) {
        const std::string size = (count >= 1000000 ? std::to_string(count / 1000000) + "M/"
                                                   : std::to_string(count / 1000) + "k/");
        benchmark::RegisterBenchmark(("GrowthStructBuild/" + size + "vorn").c_str(), BuildVorn, count)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("GrowthStructBuild/" + size + "rapidjson").c_str(), BuildRapid, count)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("GrowthStructBuild/" + size + "nlohmann").c_str(), BuildNlohmann, count)
            ->Unit(benchmark::kMillisecond);
    }
}

const int kRegistered = (Register(), 0);

}  // namespace
}  // namespace VornBench

// JSON reading and writing on canada.json, citm_catalog.json and twitter.json:
// the project's reader against RapidJSON's reader with a null handler (the
// floor: tokenizing alone, same flags and SIMD setting), RapidJSON's Document,
// nlohmann::json and simdjson; the writers against RapidJSON's writers over a
// Document of the same data and nlohmann::json's dump.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <simdjson.h>

#include <string>

#include "bench_data.h"
#include "counting_allocators.h"
#include "binding/binding_property.h"
#include "formats/json_reader.h"
#include "formats/json_writer.h"

namespace VornBench {
namespace {

struct Dataset {
    const char* name;
    const char* file;
    // Counts from the documents' description, checked once per run.
    std::size_t objects;
    std::size_t arrays;
};

constexpr Dataset kDatasets[] = {
    {"canada", "canada.json", 4, 56045},
    {"citm", "citm_catalog.json", 10937, 10451},
    {"twitter", "twitter.json", 1264, 1050},
};

struct ContainerCounter : Vorn::BindingVisitor {
    std::size_t objects = 0;
    std::size_t arrays = 0;
    void BeginCollection(std::size_t) override { ++arrays; }
    void BeginStructure(std::size_t) override { ++objects; }
};

// RapidJSON's Document with its memory on the counting heap, for the bytes
// a tree holds (the timed runs use the default allocators).
using CountingDocument = rapidjson::GenericDocument<rapidjson::UTF8<>,
                                                    rapidjson::MemoryPoolAllocator<CountingRapidJsonAllocator>,
                                                    CountingRapidJsonAllocator>;

// What one tree of the document holds once read, reported beside the times.
template <typename Read>
void ReportTreeBytes(benchmark::State& state, Read read) {
    FootprintProbe probe;
    auto tree = read();
    state.counters["tree_KiB"] = static_cast<double>(probe.Bytes()) / 1024.0;
    benchmark::DoNotOptimize(&tree);
}

bool CheckCounts(const Dataset& data, const Vorn::BindingProperty& value) {
    ContainerCounter counter;
    value.Visit(counter);
    return counter.objects == data.objects && counter.arrays == data.arrays;
}

void ReadVorn(benchmark::State& state, const Dataset* data) {
    const std::string& text = BenchFile(data->file);
    {
        Vorn::BindingResult check = Vorn::DeserializeJson(text.c_str());
        if (!check.ok || !CheckCounts(*data, check.value)) state.SkipWithError("wrong result");
    }
    for (auto _ : state) {
        Vorn::BindingResult result = Vorn::DeserializeJson(text.c_str());
        benchmark::DoNotOptimize(&result);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    ReportTreeBytes(state, [&] { return Vorn::DeserializeJson(text.c_str()); });
}

void ReadRapidJsonNull(benchmark::State& state, const Dataset* data) {
    const std::string& text = BenchFile(data->file);
    for (auto _ : state) {
        rapidjson::BaseReaderHandler<> handler;
        rapidjson::Reader reader;
        rapidjson::StringStream stream(text.c_str());
        auto result = reader.Parse<rapidjson::kParseDefaultFlags>(stream, handler);
        benchmark::DoNotOptimize(&result);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void ReadRapidJsonDocument(benchmark::State& state, const Dataset* data) {
    const std::string& text = BenchFile(data->file);
    for (auto _ : state) {
        rapidjson::Document document;
        document.Parse<rapidjson::kParseDefaultFlags>(text.c_str());
        benchmark::DoNotOptimize(&document);
        if (document.HasParseError()) state.SkipWithError("parse error");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    ReportTreeBytes(state, [&] {
        CountingDocument document;
        document.Parse<rapidjson::kParseDefaultFlags>(text.c_str());
        return document;
    });
}

void ReadNlohmann(benchmark::State& state, const Dataset* data) {
    const std::string& text = BenchFile(data->file);
    for (auto _ : state) {
        nlohmann::json document = nlohmann::json::parse(text);
        benchmark::DoNotOptimize(&document);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    ReportTreeBytes(state, [&] { return nlohmann::json::parse(text); });
}

void ReadSimdjson(benchmark::State& state, const Dataset* data) {
    const simdjson::padded_string text(BenchFile(data->file));
    simdjson::dom::parser parser;
    for (auto _ : state) {
        simdjson::dom::element document;
        auto error = parser.parse(text).get(document);
        benchmark::DoNotOptimize(&document);
        if (error) state.SkipWithError("parse error");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

template <bool Pretty>
void WriteVorn(benchmark::State& state, const Dataset* data) {
    Vorn::BindingResult parsed = Vorn::DeserializeJson(BenchFile(data->file).c_str());
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string text = Vorn::SerializeJson(parsed.value, nullptr,
                                             Pretty ? Vorn::JsonWriteOptions::Pretty() : Vorn::JsonWriteOptions{});
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

template <bool Pretty>
void WriteRapidJson(benchmark::State& state, const Dataset* data) {
    rapidjson::Document document;
    document.Parse(BenchFile(data->file).c_str());
    std::size_t bytes = 0;
    for (auto _ : state) {
        rapidjson::StringBuffer buffer;
        if constexpr (Pretty) {
            rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
            document.Accept(writer);
        } else {
            rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
            document.Accept(writer);
        }
        // The same result as the project's writer: the text in a std::string.
        std::string text(buffer.GetString(), buffer.GetSize());
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

template <bool Pretty>
void WriteNlohmann(benchmark::State& state, const Dataset* data) {
    nlohmann::json document = nlohmann::json::parse(BenchFile(data->file));
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string text = Pretty ? document.dump(4) : document.dump();
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void Register() {
    for (const Dataset& data : kDatasets) {
        const std::string read = std::string("JsonRead/") + data.name + "/";
        benchmark::RegisterBenchmark((read + "vorn").c_str(), ReadVorn, &data)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((read + "rapidjson_null").c_str(), ReadRapidJsonNull, &data)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((read + "rapidjson_doc").c_str(), ReadRapidJsonDocument, &data)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((read + "nlohmann").c_str(), ReadNlohmann, &data)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((read + "simdjson").c_str(), ReadSimdjson, &data)->Unit(benchmark::kMillisecond);
        for (bool pretty : {false, true}) {
            const std::string write = std::string(pretty ? "JsonWritePretty/" : "JsonWrite/") + data.name + "/";
            benchmark::RegisterBenchmark((write + "vorn").c_str(), pretty ? WriteVorn<true> : WriteVorn<false>, &data)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((write + "rapidjson").c_str(),
                                         pretty ? WriteRapidJson<true> : WriteRapidJson<false>, &data)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((write + "nlohmann").c_str(),
                                         pretty ? WriteNlohmann<true> : WriteNlohmann<false>, &data)
                ->Unit(benchmark::kMillisecond);
        }
    }
}

const int kRegistered = (Register(), 0);

}  // namespace
}  // namespace VornBench

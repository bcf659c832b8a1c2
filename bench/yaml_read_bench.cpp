// Reading YAML documents into trees: the project's reader against a bare
// libyaml event loop over the same text (the floor for any reader built on
// libyaml's events: it builds nothing) and yaml-cpp's YAML::Load. The JSON
// documents are read as YAML too, as flow collections on long lines.
#include <benchmark/benchmark.h>
#include <yaml-cpp/yaml.h>
#include <yaml.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "formats/yaml_reader.h"

namespace VornBench {
namespace {

// Documents are read once, on first use, and kept for the whole run.
const std::string& Document(const std::string& file) {
    static std::map<std::string, std::string> documents;
    auto found = documents.find(file);
    if (found == documents.end()) {
        std::ifstream in(std::string(VORN_BENCH_DATA) + "/" + file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        found = documents.emplace(file, text.str()).first;
    }
    return found->second;
}

// Every event of the text, none kept; false on a parser error.
bool DrainEvents(const std::string& text) {
    yaml_parser_t parser;
    if (yaml_parser_initialize(&parser) == 0) return false;
    yaml_parser_set_encoding(&parser, YAML_UTF8_ENCODING);
    yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    yaml_event_t event;
    bool ok = true;
    for (;;) {
        if (yaml_parser_parse(&parser, &event) == 0) {
            ok = false;
            break;
        }
        const bool end = event.type == YAML_STREAM_END_EVENT;
        yaml_event_delete(&event);
        if (end) break;
    }
    yaml_parser_delete(&parser);
    return ok;
}

std::string LoadWithYamlCpp(const std::string& text, YAML::Node& root) {
    try {
        root = YAML::Load(text);
        return root.IsDefined() ? std::string() : std::string("undefined root");
    } catch (const YAML::Exception& error) {
        return error.what();
    }
}

void ReportBytes(benchmark::State& state, const std::string& text) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void ReadVorn(benchmark::State& state, const std::string& file) {
    const std::string& text = Document(file);
    const Vorn::BindingResult check = Vorn::DeserializeYaml(text);
    if (text.empty() || !check.ok) {
        return state.SkipWithError(text.empty() ? "no document" : std::string(check.Message()).c_str());
    }
    for (auto _ : state) {
        Vorn::BindingResult result = Vorn::DeserializeYaml(text);
        benchmark::DoNotOptimize(&result);
    }
    ReportBytes(state, text);
}

void ReadEvents(benchmark::State& state, const std::string& file) {
    const std::string& text = Document(file);
    if (text.empty() || !DrainEvents(text)) return state.SkipWithError("libyaml could not read the document");
    for (auto _ : state) benchmark::DoNotOptimize(DrainEvents(text));
    ReportBytes(state, text);
}

void ReadYamlCpp(benchmark::State& state, const std::string& file) {
    const std::string& text = Document(file);
    YAML::Node check;
    const std::string problem = text.empty() ? std::string("no document") : LoadWithYamlCpp(text, check);
    if (!problem.empty()) return state.SkipWithError(problem.c_str());
    for (auto _ : state) {
        YAML::Node root = YAML::Load(text);
        benchmark::DoNotOptimize(&root);
    }
    ReportBytes(state, text);
}

void Register() {
    const std::pair<const char*, const char*> datasets[] = {
        {"citm", "citm_catalog.yaml"},
        {"twitter", "twitter.yaml"},
        {"citm_json", "citm_catalog.json"},
        {"twitter_json", "twitter.json"},
    };
    for (const auto& [name, file] : datasets) {
        const std::string prefix = std::string("YamlRead/") + name + "/";
        const std::string path = file;
        benchmark::RegisterBenchmark((prefix + "vorn").c_str(), ReadVorn, path)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((prefix + "libyaml_events").c_str(), ReadEvents, path)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((prefix + "yamlcpp").c_str(), ReadYamlCpp, path)->Unit(benchmark::kMillisecond);
    }
}

const int kRegistered = (Register(), 0);

}  // namespace
}  // namespace VornBench

// Reading whole MessagePack documents into a tree: Vorn::ReadMessagePack,
// msgpack-cxx's msgpack::unpack (objects in its zone, strings copied there)
// and msgpack-c's msgpack_unpack_next (objects in its zone, strings pointing
// into the input). Each iteration reads the whole file and drops the tree.
#define MSGPACK_NO_BOOST
#include <benchmark/benchmark.h>
#include <msgpack.h>

#include <exception>
#include <fstream>
#include <iterator>
#include <map>
#include <msgpack.hpp>
#include <string>
#include <utility>

#include "formats/msgpack_reader.h"

namespace VornBench {
namespace {

// The file's bytes, read once per process; empty if it cannot be read.
const std::string& Document(const std::string& name) {
    static std::map<std::string, std::string> documents;
    auto found = documents.find(name);
    if (found != documents.end()) return found->second;
    std::ifstream file(std::string(VORN_BENCH_DATA) + "/" + name, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return documents.emplace(name, std::move(bytes)).first->second;
}

// Null when the document is there and read as a whole, else why not.
const char* CheckVorn(const std::string& doc) {
    std::size_t consumed = 0;
    Vorn::BindingResult result = Vorn::ReadMessagePack(doc, &consumed);
    if (!result.ok) return "ReadMessagePack failed";
    return consumed == doc.size() ? nullptr : "ReadMessagePack did not consume the whole document";
}

void ReadVorn(const std::string& doc) {
    std::size_t consumed;
    Vorn::BindingResult result = Vorn::ReadMessagePack(doc, &consumed);
    benchmark::DoNotOptimize(&result);
}

const char* CheckCxx(const std::string& doc) {
    try {
        std::size_t offset = 0;
        msgpack::object_handle handle = msgpack::unpack(doc.data(), doc.size(), offset);
        return offset == doc.size() ? nullptr : "msgpack::unpack did not consume the whole document";
    } catch (const std::exception&) {
        return "msgpack::unpack failed";
    }
}

void ReadCxx(const std::string& doc) {
    msgpack::object_handle handle = msgpack::unpack(doc.data(), doc.size());
    benchmark::DoNotOptimize(&handle);
}

const char* CheckC(const std::string& doc) {
    msgpack_unpacked unpacked;
    msgpack_unpacked_init(&unpacked);
    std::size_t offset = 0;
    const msgpack_unpack_return outcome = msgpack_unpack_next(&unpacked, doc.data(), doc.size(), &offset);
    msgpack_unpacked_destroy(&unpacked);
    if (outcome != MSGPACK_UNPACK_SUCCESS) return "msgpack_unpack_next failed";
    return offset == doc.size() ? nullptr : "msgpack_unpack_next did not consume the whole document";
}

void ReadC(const std::string& doc) {
    msgpack_unpacked unpacked;
    msgpack_unpacked_init(&unpacked);
    std::size_t offset = 0;
    msgpack_unpack_next(&unpacked, doc.data(), doc.size(), &offset);
    benchmark::DoNotOptimize(&unpacked);
    msgpack_unpacked_destroy(&unpacked);
}

template <const char* (*Check)(const std::string&), void (*Read)(const std::string&)>
void ReadDocument(benchmark::State& state, const std::string& file) {
    const std::string& doc = Document(file);
    if (doc.empty()) return state.SkipWithError(("cannot read " + file + " in " VORN_BENCH_DATA).c_str());
    if (const char* problem = Check(doc)) return state.SkipWithError(problem);
    for (auto _ : state) Read(doc);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}

void Register() {
    const std::pair<const char*, const char*> datasets[] = {
        {"canada", "canada.msgpack"}, {"citm", "citm_catalog.msgpack"}, {"twitter", "twitter.msgpack"}};
    for (const auto& [name, file] : datasets) {
        const std::string prefix = std::string("MsgpackRead/") + name + "/";
        benchmark::RegisterBenchmark((prefix + "vorn").c_str(), ReadDocument<CheckVorn, ReadVorn>, file)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((prefix + "msgpack_cxx").c_str(), ReadDocument<CheckCxx, ReadCxx>, file)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((prefix + "msgpack_c").c_str(), ReadDocument<CheckC, ReadC>, file)
            ->Unit(benchmark::kMillisecond);
    }
}

const int kRegistered = (Register(), 0);

}  // namespace
}  // namespace VornBench

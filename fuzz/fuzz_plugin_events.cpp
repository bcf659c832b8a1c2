// A host's actions from the fuzzer's text (host_script.h) against a plug-in
// library in the simulated host, in process: events of any name and payload,
// answers stored, failing, streamed and re-entrant, clock moves, stops and
// restarts. The first line may choose the plug-in ("plugin echo", "plugin
// test"; the featured-modes library otherwise).
//
// Besides the sanitizers' findings and any exception that escapes: every
// response record the plug-in was handed is released once and every stream
// once; no exception reached the guard of a host entry (its ERROR line
// "<entry> failed: ..."; the test plug-in throws on command, so not for it);
// and the stopped plug-in keeps no memory. The library stays loaded from
// input to input, so its bytes in use after the last stop are compared with
// the highest level seen after earlier inputs: above it, the input runs
// again, and a level that rises once more is a leak (what rose only once was
// made for good, as a lazily made part of the runtime).
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "host-simulator/memory_figures.h"
#include "host/simulated_host.h"
#include "host_script.h"
#include "logging/log_message.h"
#include "platform/shared_library.h"

namespace {

struct Library {
    const char* path;
    bool throwsOnCommand;
};

Library Choose(std::string_view& script) {
    if (!script.starts_with("plugin ")) return {VORN_FEATURED_MODES_PATH, false};
    const std::size_t end = script.find('\n');
    const std::string_view name = script.substr(7, end == std::string_view::npos ? end : end - 7);
    script = end == std::string_view::npos ? std::string_view() : script.substr(end + 1);
    if (name == "echo") return {VORN_ECHO_PLUGIN_PATH, false};
    if (name == "test") return {VORN_TEST_PLUGIN_PATH, true};
    return {VORN_FEATURED_MODES_PATH, false};
}

// Runs the script in a new host; returns the library's bytes in use after
// its last stop.
uint64_t RunOnce(const Library& library, std::string_view script) {
    Vorn::Host::SimulatedHost host;
    Vorn::Fuzz::HostScript run(host, library.path);
    if (!run.Begin()) __builtin_trap();  // the library must load
    run.Run(script);
    run.End();
    if (library.throwsOnCommand) {
        // A point armed to throw waits for the next instance, in this module
        // that the next input loads again: two lives use it up.
        for (int life = 0; life < 2; ++life) {
            host.Unload();
            if (run.Begin()) run.End();
        }
    }

    for (const Vorn::Host::RecordedRequest& request : host.Requests()) {
        if (!request.released) __builtin_trap();
        if (request.streamReleases != (request.streamed ? 1u : 0u)) __builtin_trap();
    }
    if (!library.throwsOnCommand) {
        for (const Vorn::Host::RecordedLogLine& line : host.LogLines()) {
            if (line.level == Vorn::kLogError && line.text.find(" failed: ") != std::string::npos) __builtin_trap();
        }
    }
    return Vorn::HostSimulator::InUse(host.MemoryStatistics());
}

}  // namespace

// The libraries stay loaded for the whole run: libFuzzer keeps the coverage
// counters of a loaded module and must not see them unmapped.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static Vorn::Platform::SharedLibrary kept[3];
    const char* paths[3] = {VORN_FEATURED_MODES_PATH, VORN_ECHO_PLUGIN_PATH, VORN_TEST_PLUGIN_PATH};
    for (int i = 0; i < 3; ++i) {
        std::string error;
        if (!kept[i].Open(paths[i], &error)) __builtin_trap();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view script(reinterpret_cast<const char*>(data), size);
    const Library library = Choose(script);
    static std::map<std::string_view, uint64_t> highest;
    uint64_t& seen = highest[library.path];
    const uint64_t first = RunOnce(library, script);
    if (first > seen) {
        if (seen != 0 && RunOnce(library, script) > first) __builtin_trap();  // it leaks on every run
        seen = first;
    }
    return 0;
}

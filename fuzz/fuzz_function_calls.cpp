// Calls of vorn-echo's exposed functions with a request record from the
// fuzzer's bytes, through its API table as the host calls them. The input's
// fields are separated by NUL bytes: first a byte choosing the function and
// one giving the method code (any byte, so codes no method has too), then
// the custom method's text, the path with its query, the headers ("name:
// value" lines), the content type and the body (a lone 0x01 stands for
// none), and last the raw named values: a count byte, then per value a name
// and a flat value from flat_recipe.h.
//
// Besides the sanitizers' findings and any exception that escapes: every
// response is well formed (a result value the host can read, a failure with
// its error text), its release leaves the record zeroed, no exception
// reached the guard of a host entry, and calls keep no memory: the echo
// plug-in's bytes in use after a call rise above the highest level seen
// only once for any input (what is made once and kept), never on its
// second run.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "flat_recipe.h"
#include "host-simulator/memory_figures.h"
#include "host/simulated_host.h"
#include "logging/log_message.h"

namespace {

const char* const kFunctions[] = {"Echo", "Submit", "Files", "Ping"};

std::vector<const char*> Names() {
    return {nullptr, "", "id", "count", "verbose", "filter", "trace", "payload", "tag", "path", "x"};
}

// The next NUL-separated field, taken off the front.
std::string_view Field(std::string_view& input) {
    const std::size_t end = input.find('\0');
    const std::string_view field = input.substr(0, end);
    input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
    return field;
}

std::optional<std::string> Optional(std::string_view field) {
    if (field == "\x01") return std::nullopt;
    return std::string(field);
}

Vorn::Host::SimulatedHost& Host() {
    static Vorn::Host::SimulatedHost* host = [] {
        auto* made = new Vorn::Host::SimulatedHost();
        std::string error;
        if (!made->Load(VORN_ECHO_PLUGIN_PATH, &error) || !made->Start()) __builtin_trap();
        return made;
    }();
    return *host;
}

void CallOnce(std::string_view input) {
    Vorn::Host::SimulatedHost& host = Host();
    host.ClearRecords();
    const std::string_view choice = Field(input);
    Vorn::Host::FunctionCall call;
    call.function = kFunctions[(choice.empty() ? 0 : static_cast<uint8_t>(choice[0])) % 4];
    call.method = choice.size() > 1 ? static_cast<uint8_t>(choice[1]) : 0;
    call.customMethod = std::string(Field(input));
    call.path = std::string(Field(input));
    std::string_view headers = Field(input);
    while (!headers.empty()) {
        const std::size_t end = headers.find('\n');
        const std::string_view line = headers.substr(0, end);
        const std::size_t colon = line.find(':');
        call.headers.emplace_back(std::string(line.substr(0, colon)),
                                  colon == std::string_view::npos ? std::string() : std::string(line.substr(colon + 1)));
        headers = end == std::string_view::npos ? std::string_view() : headers.substr(end + 1);
    }
    call.contentType = Optional(Field(input));
    call.body = Optional(Field(input));

    Vorn::Fuzz::Recipe recipe(reinterpret_cast<const uint8_t*>(input.data()), input.size(), Names());
    const uint8_t count = recipe.Byte() % 5;
    if (count > 0) {
        call.flatValues.emplace(count);
        for (HostNamedValue& named : *call.flatValues) {
            named.name = Names()[recipe.Byte() % Names().size()];
            recipe.Build(named.value, 0);
        }
    }

    const Vorn::Host::CallResult result = host.CallFunction(call);
    if (!result.called || !result.released) __builtin_trap();
    if (result.error && result.error->starts_with("the result value is unreadable")) __builtin_trap();
    if (result.failed && !result.error) __builtin_trap();  // a failure says why
    for (const Vorn::Host::RecordedLogLine& line : host.LogLines()) {
        if (line.level == Vorn::kLogError && line.text.find(" failed: ") != std::string::npos) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    static uint64_t highest = 0;
    CallOnce(input);
    const uint64_t first = Vorn::HostSimulator::InUse(Host().MemoryStatistics());
    if (first > highest) {
        CallOnce(input);
        if (highest != 0 && Vorn::HostSimulator::InUse(Host().MemoryStatistics()) > first) __builtin_trap();
        highest = first;
    }
    return 0;
}

// Scenario files from the fuzzer's bytes, read by vorn-host's reader: the
// first byte chooses YAML or JSON, the rest is the file's text. Reading
// never crashes and always ends in a scenario or in an error that names the
// file, and its line wherever the YAML or JSON reader placed the error
// (errors of the scenario as a whole, such as one without steps, have none).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "formats/json_reader.h"
#include "formats/yaml_reader.h"
#include "host-simulator/scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string file = data[0] % 2 == 0 ? "fuzz.yaml" : "fuzz.json";
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    Vorn::HostSimulator::Scenario scenario;
    Vorn::HostSimulator::ScenarioError error;
    if (Vorn::HostSimulator::LoadScenarioText(file, text, scenario, error)) return 0;
    // The readers' messages that carry a place end with it.
    const Vorn::BindingResult read = file.ends_with(".json") ? Vorn::DeserializeJson(text.c_str())
                                                             : Vorn::DeserializeYaml(text);
    const std::string readerMessage = read.ok ? std::string() : std::string(read.Message());
    const bool placed = readerMessage.find(" At line: ") != std::string::npos ||
                        readerMessage.find(" at offset ") != std::string::npos;
    if (error.file != file || error.message.empty() || (placed && error.line == 0)) {
        std::fprintf(stderr, "an error without its place: %s\n", error.Text().c_str());
        __builtin_trap();
    }
    return 0;
}

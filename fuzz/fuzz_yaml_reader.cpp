// YAML text from the fuzzer: reading never crashes or leaks, whatever the
// anchors, aliases, tags and nesting; a failure is always a message.
#include <cstddef>
#include <cstdint>

#include "formats/yaml_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Vorn::BindingResult result = Vorn::DeserializeYaml(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!result.ok && result.Message().empty()) __builtin_trap();
    return 0;
}

// JSON text from the fuzzer: reading never crashes, never leaks, and what
// reads back writes out as text that reads again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/json_reader.h"
#include "formats/json_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Vorn::BindingResult counted = Vorn::DeserializeJson(bytes);
    Vorn::BindingResult terminated = Vorn::DeserializeJson(std::string(bytes).c_str());
    if (counted.ok != terminated.ok) __builtin_trap();  // both forms read up to the first NUL
    if (!counted.ok) return 0;
    for (const Vorn::JsonWriteOptions& options :
         {Vorn::JsonWriteOptions{}, Vorn::JsonWriteOptions::Pretty(), Vorn::JsonWriteOptions::Pretty("\r\n")}) {
        const std::string text = Vorn::SerializeJson(counted.value, nullptr, options);
        if (text.empty()) {
            if (!counted.value.IsEmpty()) __builtin_trap();
            continue;
        }
        if (!Vorn::DeserializeJson(text.c_str()).ok) __builtin_trap();
    }
    return 0;
}

// MessagePack bytes from the fuzzer: reading never crashes or leaks, a
// failure is one of the reader's own messages, and a value read back from
// just the bytes it took is the same value.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "formats/msgpack_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::size_t consumed = 0;
    Vorn::BindingResult result = Vorn::ReadMessagePack(std::string_view(reinterpret_cast<const char*>(data), size), &consumed);
    if (consumed > size) __builtin_trap();
    if (!result.ok) {
        if (result.Message().rfind("Invalid MessagePack data", 0) != 0) __builtin_trap();
        return 0;
    }
    std::size_t again = 0;
    Vorn::BindingResult prefix = Vorn::ReadMessagePack(std::string_view(reinterpret_cast<const char*>(data), consumed), &again);
    if (!prefix.ok || again != consumed || !(prefix.value == result.value)) __builtin_trap();
    return 0;
}

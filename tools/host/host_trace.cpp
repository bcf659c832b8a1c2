#include "host/host_trace.h"

#include <cinttypes>
#include <cstdio>

#include "dispatch/host_call_records.h"
#include "formats/json_writer.h"

namespace Vorn::Host {

std::string TimeStamp(uint64_t nanoseconds) {
    char text[48];
    std::snprintf(text, sizeof(text), "[%5" PRIu64 ".%03us]", nanoseconds / 1000000000u,
                  static_cast<unsigned>(nanoseconds / 1000000u % 1000u));
    return text;
}

std::string JsonText(const BindingProperty& value) {
    return value.IsEmpty() ? "null" : SerializeJson(value, nullptr);
}

std::string ParametersText(const std::vector<RecordedParameter>& parameters) {
    std::string texts;
    for (const RecordedParameter& parameter : parameters) {
        if (!texts.empty()) texts += ",";
        if (parameter.name) texts += *parameter.name + "=";
        texts += JsonText(parameter.value);
    }
    return texts;
}

std::string MethodText(uint32_t method) {
    switch (method) {
        case kHostMethodDelete: return "DELETE";
        case kHostMethodGet: return "GET";
        case kHostMethodHead: return "HEAD";
        case kHostMethodOptions: return "OPTIONS";
        case kHostMethodPatch: return "PATCH";
        case kHostMethodPost: return "POST";
        case kHostMethodPut: return "PUT";
        default: return "method " + std::to_string(method);
    }
}

std::string LevelText(int32_t level) {
    switch (level) {
        case 0: return "OKAY";
        case 1: return "WARN";
        case 2: return "ERROR";
        case 3: return "ALWAYS";
        default: return "level " + std::to_string(level);
    }
}

std::string SecondsText(double seconds) {
    char text[64];
    // Fixed point would spell out every digit of an absurd delay.
    std::snprintf(text, sizeof(text), seconds > -1e6 && seconds < 1e6 ? "%.3fs" : "%gs", seconds);
    return text;
}

std::string HexText(uintptr_t word) {
    char text[24];
    std::snprintf(text, sizeof(text), "0x%" PRIxPTR, word);
    return text;
}

}  // namespace Vorn::Host

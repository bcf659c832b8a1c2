#pragma once
// Helpers for tests that drive a loaded plug-in through the simulated host.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "formats/json_reader.h"
#include "formats/json_writer.h"
#include "host/simulated_host.h"

namespace Vorn::Testing {

// A value from JSON text; a test with a malformed literal fails.
inline BindingProperty Json(std::string_view text) {
    BindingResult parsed = DeserializeJson(text);
    EXPECT_TRUE(parsed.ok) << parsed.Message() << " in " << text;
    return std::move(parsed.value);
}

inline std::string Compact(const BindingProperty& value) { return SerializeJson(value, nullptr); }

// The host's log lines at a level whose text contains needle.
inline std::vector<std::string> LogLinesWith(const Host::SimulatedHost& host, int32_t level, std::string_view needle) {
    std::vector<std::string> lines;
    for (const Host::RecordedLogLine& line : host.LogLines()) {
        if (line.level == level && line.text.find(needle) != std::string::npos) lines.push_back(line.text);
    }
    return lines;
}

// The requests the plug-in sent with this method and path.
inline std::vector<const Host::RecordedRequest*> RequestsTo(const Host::SimulatedHost& host, uint32_t method,
                                                            std::string_view path) {
    std::vector<const Host::RecordedRequest*> found;
    for (const Host::RecordedRequest& request : host.Requests()) {
        if (request.method == method && request.path == path) found.push_back(&request);
    }
    return found;
}

}  // namespace Vorn::Testing

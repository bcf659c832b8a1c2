#pragma once
// The simulated host with the probe plug-in (probe_plugin/probe_plugin.c)
// loaded, and readers of what the probe reported through the log entry.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "formats/json_reader.h"
#include "formats/json_writer.h"
#include "host/simulated_host.h"

namespace Vorn::Host::Testing {

constexpr const char* kProbeEvent = "OnJsonApiEvent_probe_v1_thing";
constexpr const char* kThing = "/probe/v1/thing";
constexpr const char* kStream = "/probe/v1/stream";
constexpr uint64_t kMillisecond = 1000000;

inline BindingProperty Json(const char* text) {
    BindingResult result = DeserializeJson(text);
    EXPECT_TRUE(result.ok) << text;
    return std::move(result.value);
}

// A string payload: the probe reads some as commands.
inline BindingProperty Text(const char* text) {
    BindingProperty value;
    value.SetString(text);
    return value;
}

inline std::string JsonOf(const BindingProperty* value) {
    return value != nullptr ? SerializeJson(*value, nullptr) : "(absent)";
}

inline bool LoadProbe(SimulatedHost& host) {
    std::string error;
    const bool loaded = host.Load(VORN_HOST_PROBE_PATH, &error);
    EXPECT_TRUE(loaded) << error;
    return loaded;
}

inline bool StartProbe(SimulatedHost& host) { return LoadProbe(host) && host.Start(); }

inline std::vector<std::string> ProbeLog(const SimulatedHost& host) {
    std::vector<std::string> texts;
    for (const RecordedLogLine& line : host.LogLines()) texts.push_back(line.text);
    return texts;
}

// The probe's log lines that begin with `prefix`.
inline std::vector<std::string> ProbeLog(const SimulatedHost& host, const std::string& prefix) {
    std::vector<std::string> texts;
    for (const RecordedLogLine& line : host.LogLines()) {
        if (line.text.compare(0, prefix.size(), prefix) == 0) texts.push_back(line.text);
    }
    return texts;
}

inline bool TraceHas(const SimulatedHost& host, const std::string& line) {
    for (const std::string& traced : host.Trace()) {
        if (traced == line) return true;
    }
    return false;
}

}  // namespace Vorn::Host::Testing

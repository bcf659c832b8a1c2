// Calls of the functions a plug-in exposes: the request record built from a
// FunctionCall, the call through the API table's entry, and the response
// read out and released.
#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "binding/flat_value.h"
#include "dispatch/api_table_records.h"
#include "host/host_state.h"
#include "host/host_trace.h"

namespace Vorn::Host {

namespace {

constexpr uint32_t kReadChunk = 4096;
// A stream that never ends is cut off here rather than read for ever.
constexpr std::size_t kMaxStreamBytes = 64u << 20;
// What the response record holds before the plug-in fills it: not zeros, so
// that a plug-in that relies on zeros is found out.
constexpr unsigned char kUninitialised = 0xCD;

const ApiFunctionEntry* FindFunction(const PluginHostRecord& record, const std::string& name) {
    const ApiTable* table = record.apiTable;
    if (table == nullptr || table->functions == nullptr) return nullptr;
    const uint32_t count = table->functionCount;
    for (uint32_t i = 0; i < count; ++i) {
        const char* entryName = table->functions[i].name;
        if (entryName != nullptr && name == entryName) return &table->functions[i];
    }
    return nullptr;
}

std::string CallLabel(const FunctionCall& call) {
    const std::string method = call.method == kHostMethodAny      ? "ANY"
                               : call.method == kHostMethodCustom ? call.customMethod
                                                                  : MethodText(call.method);
    std::string label = "call " + call.function + " " + method + " " + call.path;
    if (!call.headers.empty()) {
        std::string texts;
        for (const auto& [name, value] : call.headers) texts += (texts.empty() ? "" : ", ") + name + ": " + value;
        label += " headers=[" + texts + "]";
    }
    if (!call.values.empty()) label += " values=[" + ParametersText(call.values) + "]";
    if (call.flatValues) label += " " + std::to_string(call.flatValues->size()) + " raw values";
    if (call.body) {
        label += " body=" + std::to_string(call.body->size()) + " bytes of " +
                 (call.contentType ? "'" + *call.contentType + "'" : "no content type");
    }
    return label;
}

std::string Outcome(const CallResult& result) {
    if (!result.called) return "not called: " + result.error.value_or("");
    std::string text;
    if (result.failed || result.error) {
        text = std::to_string(result.status) + " " + result.error.value_or("(no message)");
        if (!result.failed) text += " (failed flag not set)";
    } else {
        text = (result.status != 0 ? std::to_string(result.status) + " " : "") + JsonText(result.value);
    }
    if (!result.text.empty()) text += " text '" + result.text + "'";
    for (const auto& [name, value] : result.headers) text += " header " + name + ": " + value;
    if (result.streamed) {
        text += " stream of " + std::to_string(result.stream.size()) + " bytes" + (result.streamFailed ? ", failed" : "");
    }
    if (!result.released) text += " (the response was not released cleanly)";
    return text;
}

// The host's own flat values for the named values; freed with the holder.
class NamedValues {
public:
    ~NamedValues() {
        for (HostNamedValue& entry : entries_) ReleaseFlatValue(&entry.value);
    }
    bool Add(const RecordedParameter& parameter) {
        HostNamedValue& entry = entries_.emplace_back();
        std::memset(static_cast<void*>(&entry), 0, sizeof(entry));
        entry.name = parameter.name ? parameter.name->c_str() : nullptr;
        return FlatFromValue(parameter.value, nullptr, &entry.value);
    }
    const HostNamedValue* Data() const { return entries_.empty() ? nullptr : entries_.data(); }
    uint32_t Count() const { return static_cast<uint32_t>(entries_.size()); }

private:
    std::vector<HostNamedValue> entries_;
};

void ReadStream(const HostResponse& response, CallResult& result) {
    result.streamed = true;
    result.streamSize = response.streamSize;
    HostStreamRead read = response.streamRead;
    void* stream = response.stream;
    char buffer[kReadChunk];
    bool more = true;
    while (more && result.stream.size() < kMaxStreamBytes) {
        uint32_t length = kReadChunk;
        more = false;
        if (!read(stream, buffer, &length, &more) || length > kReadChunk) {
            result.streamFailed = true;
            break;
        }
        result.stream.append(buffer, length);
    }
    if (HostStreamRelease release = response.streamRelease; release != nullptr) release(stream);
}

}  // namespace

CallResult HostState::CallFunction(const FunctionCall& call) {
    HostState& s = *this;
    CallResult result;
    auto finish = [&]() {
        s.Note(CallLabel(call) + " -> " + Outcome(result), TraceLane::Call);
        s.calls.push_back({s.now, call, result});
        return result;
    };
    // The API table goes with the plug-in object that stop destroys.
    const bool usable = s.loaded && !s.stopped;
    const ApiFunctionEntry* entry = usable ? FindFunction(s.record, call.function) : nullptr;
    const ApiCallEntry function = entry != nullptr ? entry->call : nullptr;
    if (function == nullptr) {
        result.error = !s.loaded           ? "no plug-in loaded"
                       : s.stopped         ? "the plug-in was stopped"
                       : entry == nullptr  ? "the API table has no function '" + call.function + "'"
                                           : "the function entry has no call function";
        return finish();
    }
    NamedValues values;
    for (const RecordedParameter& parameter : call.values) {
        if (!values.Add(parameter)) {
            result.error = "a named value is nested too deeply to be sent";
            return finish();
        }
    }
    std::vector<HostHeader> headers;
    for (const auto& [name, value] : call.headers) headers.push_back({name.c_str(), value.c_str()});

    HostRequest request;
    std::memset(static_cast<void*>(&request), 0, sizeof(request));
    request.method = call.method;
    request.path = call.path.c_str();
    request.values = !call.flatValues ? values.Data() : call.flatValues->empty() ? nullptr : call.flatValues->data();
    request.valueCount = call.flatValues ? static_cast<uint32_t>(call.flatValues->size()) : values.Count();
    request.functionContext = entry->context;
    request.headers = headers.empty() ? nullptr : headers.data();
    request.headerCount = static_cast<uint32_t>(headers.size());
    request.contentType = call.contentType ? call.contentType->c_str() : nullptr;
    request.body = call.body ? reinterpret_cast<const uint8_t*>(call.body->data()) : nullptr;
    request.bodyLength = call.body ? static_cast<uint32_t>(call.body->size()) : 0;
    request.context = call.requestWord;
    request.customMethod = call.customMethod.c_str();

    HostResponse response;
    std::memset(static_cast<void*>(&response), kUninitialised, sizeof(response));
    result.called = true;
    function(&response, &request);

    // Read out by copying: the record is packed.
    const BindingFlatValue body = response.body;
    BindingFlatResult conversion{};
    if (!ValueFromFlat(body, "result", result.value, &conversion)) {
        result.error = "the result value is unreadable: " + std::string(conversion.message != nullptr ? conversion.message : "");
    }
    ReleaseFlatResult(&conversion);
    if (const char* error = response.error; error != nullptr) result.error = error;
    result.failed = response.failed != 0;
    result.flag = response.flag;
    result.resultForm = response.resultForm;
    result.status = response.status;
    if (const char* text = response.text; text != nullptr) result.text = text;
    const HostHeader* responseHeaders = response.headers;
    const uint32_t headerCount = responseHeaders != nullptr ? uint32_t{response.headerCount} : 0;
    for (uint32_t i = 0; i < headerCount; ++i) {
        result.headers.emplace_back(responseHeaders[i].name != nullptr ? responseHeaders[i].name : "",
                                    responseHeaders[i].value != nullptr ? responseHeaders[i].value : "");
    }
    if (response.streamRead != nullptr) ReadStream(response, result);
    if (HostResponseRelease release = response.release; release != nullptr) {
        release(&response);
        const auto* bytes = reinterpret_cast<const unsigned char*>(&response);
        result.released = std::all_of(bytes, bytes + sizeof(response), [](unsigned char b) { return b == 0; });
    }
    return finish();
}

}  // namespace Vorn::Host

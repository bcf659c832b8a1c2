// PluginBase's send of every typed request: the host's call, its answer read
// whole (stored, failed or streamed) and its record released.
#include "plugin/plugin_base.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "formats/json_reader.h"

namespace Vorn {

namespace {

constexpr uint32_t kStreamChunk = 4096;
// The stream size is only a hint from the host: a larger one must not make
// the plug-in reserve memory it may never use.
constexpr uint32_t kMaxStreamReservation = 16u << 20;
constexpr const char* kYieldLabel = "Wait: yield";

// Calls the record's release function once, whatever the outcome, and
// before it the stream's, once: also for a stream nobody read (a request
// without a result, an error reply that carries one).
class ResponseRecord {
public:
    ResponseRecord() { std::memset(&response_, 0, sizeof(response_)); }
    ~ResponseRecord() {
        ReleaseStream();
        if (response_.release != nullptr) response_.release(&response_);
    }
    ResponseRecord(const ResponseRecord&) = delete;
    ResponseRecord& operator=(const ResponseRecord&) = delete;
    HostResponse* Get() { return &response_; }

    void ReleaseStream() {
        if (streamReleased_) return;
        streamReleased_ = true;
        const bool hasStream = response_.streamRead != nullptr || response_.stream != nullptr;
        if (hasStream && response_.streamRelease != nullptr) response_.streamRelease(response_.stream);
    }

private:
    HostResponse response_;
    bool streamReleased_ = false;
};

}  // namespace

RequestResult<BindingProperty> PluginBase::SendPreparedRequest(RequestMethod method, const std::string& path,
                                                               const RequestParameters& parameters,
                                                               bool wantBody, FlatBodyTarget* direct) {
    const uint32_t code = static_cast<uint32_t>(method);
    const char* methodName = MethodName(code);

    HostRequest request;
    std::memset(&request, 0, sizeof(request));
    request.method = NormalizeMethodCode(code);
    request.path = path.c_str();
    request.values = parameters.Entries();
    request.valueCount = parameters.Count();
    request.context = hostContext_;

    ResponseRecord record;
    HostResponse* response = record.Get();
    HostSendRequest(response, &request);

    if (response->error != nullptr) {
        return RequestError(static_cast<int32_t>(response->status), kErrorResponse, methodName, path,
                            response->error);
    }
    if (!wantBody) return BindingProperty();

    if (response->streamRead != nullptr) {
        std::string text;
        const uint32_t sizeHint = response->streamSize;  // copied: the record is packed
        text.reserve(std::min(sizeHint, kMaxStreamReservation));
        char buffer[kStreamChunk];
        bool failed = false;
        bool more = true;
        while (more) {
            uint32_t length = kStreamChunk;
            more = false;
            // A read that claims more bytes than the buffer holds is as
            // broken as one that fails: nothing past the buffer is read.
            if (!response->streamRead(response->stream, buffer, &length, &more) || length > kStreamChunk) {
                failed = true;
                break;
            }
            text.append(buffer, length);
            if (length < kStreamChunk) {
                if (!more) break;
                HostBeginWait(kYieldLabel, 0);
                HostYield();
                HostEndWait();
            }
        }
        record.ReleaseStream();
        if (failed) return RequestError(0, kErrorReadingStream, methodName, path, kStreamReadError);
        BindingResult parsed = DeserializeJson(text.c_str());
        if (!parsed.ok) return RequestError(0, kErrorReadingStream, methodName, path, parsed.Message());
        return std::move(parsed.value);
    }

    if (direct != nullptr && direct->read(response->body, direct->native, registry_.get())) {
        direct->done = true;
        return BindingProperty();
    }
    BindingProperty body;
    BindingFlatResult conversion{};
    if (!ValueFromFlat(response->body, kResultPath, body, &conversion)) {
        const std::string message = conversion.message != nullptr ? conversion.message : "";
        ReleaseFlatResult(&conversion);
        return RequestError(0, kErrorConvertingResponse, methodName, path, message);
    }
    ReleaseFlatResult(&conversion);
    return body;
}

}  // namespace Vorn

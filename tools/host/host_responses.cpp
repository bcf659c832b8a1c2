// Requests from the plug-in and the responses the host fills for them: the
// answer (endpoint, else store), the response record, streamed bodies and
// the release functions that travel with them.
#include <algorithm>
#include <cstring>
#include <exception>
#include <map>
#include <set>
#include <utility>

#include "binding/flat_value.h"
#include "formats/json_writer.h"
#include "host/host_state.h"
#include "host/host_trace.h"
#include "support/memory_hooks.h"

namespace Vorn::Host {

Answer Answer::Body(BindingProperty body) {
    Answer answer;
    answer.body = std::move(body);
    return answer;
}

Answer Answer::Error(uint32_t status, std::string text) {
    Answer answer;
    answer.error = std::move(text);
    answer.status = status;
    return answer;
}

Answer Answer::Streamed(BindingProperty body, uint32_t chunk) {
    Answer answer = Body(std::move(body));
    answer.streamChunk = chunk;
    return answer;
}

namespace {

// The release and stream functions get only the record or the stream
// object, so the hosts that handed them out are found here. A pointer that
// is not listed was released already or never came from a host: the call is
// ignored rather than freeing anything twice. The lists take no lock, as
// hosts are driven from one thread.
std::map<const HostResponse*, HostState*>& ResponseOwners() {
    static std::map<const HostResponse*, HostState*> owners;
    return owners;
}

std::set<const StreamBody*>& LiveStreams() {
    static std::set<const StreamBody*> streams;
    return streams;
}

void VORN_HOST_CALL ReleaseResponse(HostResponse* response) {
    auto owner = ResponseOwners().find(response);
    if (owner == ResponseOwners().end()) return;
    owner->second->Finish(response, true);
}

bool VORN_HOST_CALL ReadStream(void* stream, void* buffer, uint32_t* length, bool* more) {
    auto* body = static_cast<StreamBody*>(stream);
    if (LiveStreams().count(body) == 0) return false;
    return body->state->Read(*body, buffer, length, more);
}

void VORN_HOST_CALL ReleaseStream(void* stream) {
    auto* body = static_cast<StreamBody*>(stream);
    if (LiveStreams().count(body) == 0) return;
    RecordedRequest* request = body->state->Request(body->record);
    if (request != nullptr) ++request->streamReleases;
    if (body->released) {
        body->state->Note("stream of " + body->label + " released again", TraceLane::Request);
        return;
    }
    body->released = true;
    if (request != nullptr) request->streamReleased = true;
    body->state->Note("stream of " + body->label + " released after " + std::to_string(body->reads) + " reads", TraceLane::Request);
}

uint32_t SaturatingAdd32(uint32_t a, uint32_t b) { return a > UINT32_MAX - b ? UINT32_MAX : a + b; }

}  // namespace

void HostState::ServeRequest(HostResponse* response, const HostRequest* request) {
    // A record the plug-in answers again without having released it: what
    // the host gave it the last time is lost to the plug-in, so it is freed.
    Finish(response, false);
    std::memset(static_cast<void*>(response), 0, sizeof(*response));

    RecordedRequest recorded;
    recorded.time = now;
    std::optional<std::string> badRequest;
    std::string label = "request without a record";
    std::string parameters;
    if (request == nullptr) {
        badRequest = "No request record";
    } else {
        recorded.method = request->method;
        recorded.path = request->path != nullptr ? request->path : "";
        recorded.context = request->context;
        recorded.unusedZero = request->functionContext == nullptr && request->headers == nullptr &&
                              request->headerCount == 0 && request->contentType == nullptr &&
                              request->body == nullptr && request->bodyLength == 0 &&
                              (request->method == kHostMethodCustom || request->customMethod == nullptr);
        const uint32_t count = request->values != nullptr ? request->valueCount : 0;
        if (count != request->valueCount) badRequest = "Parameter count without parameters";
        for (uint32_t i = 0; i < count && !badRequest; ++i) {
            const HostNamedValue& entry = request->values[i];
            RecordedParameter parameter;
            if (entry.name != nullptr) parameter.name = entry.name;
            // The plug-in owns these flat values: read, never released here.
            BindingFlatResult result{};
            const std::string where = "parameter " + std::to_string(i + 1);
            if (!ValueFromFlat(entry.value, where, parameter.value, &result)) {
                badRequest = result.message != nullptr ? result.message : "Bad parameter";
            }
            ReleaseFlatResult(&result);
            recorded.parameters.push_back(std::move(parameter));
        }
        const bool custom = request->method == kHostMethodCustom && request->customMethod != nullptr;
        label = (custom ? std::string(request->customMethod) : MethodText(request->method)) + " " + recorded.path;
        if (!recorded.parameters.empty()) parameters = " params=[" + ParametersText(recorded.parameters) + "]";
    }
    const RecordRef ref{requests.size(), generation};
    requests.push_back(recorded);

    Host::Answer answer;
    if (badRequest) {
        answer = Answer::Error(400, *badRequest);
    } else if (auto endpoint = endpoints.find({recorded.method, recorded.path}); endpoint != endpoints.end()) {
        // A copy: the endpoint may replace or remove itself while it runs.
        const SimulatedHost::Endpoint serve = endpoint->second;
        try {
            answer = serve(recorded);
        } catch (const std::exception& failure) {
            answer = Answer::Error(500, std::string("Endpoint failed: ") + failure.what());
        } catch (...) {
            answer = Answer::Error(500, "Endpoint failed");
        }
    } else {
        answer = store.Serve(recorded.method, recorded.path,
                             recorded.parameters.empty() ? nullptr : &recorded.parameters.front().value);
    }
    if (answerHook) {
        // A copy, as for endpoints; and the record by value, since what the
        // hook runs later may add requests.
        const SimulatedHost::AnswerHook hook = answerHook;
        hook(recorded, answer);
    }
    switch (Interact(Interaction::Kind::Answer, label)) {
        case InjectedFault::AnswerFails: {
            const uint32_t chunk = answer.streamChunk;
            answer = Answer::Error(500, "Injected fault");
            answer.streamChunk = chunk;
            break;
        }
        case InjectedFault::AnswerWrongKind: {
            // A structure where anything else was, a text where a structure was.
            BindingProperty wrong;
            if (answer.body.Kind() == BindingKind::Structure) {
                wrong.SetString("injected");
            } else {
                wrong.Member("injected").SetBool(true);
            }
            const uint32_t chunk = answer.streamChunk;
            answer = Answer::Body(std::move(wrong));
            answer.streamChunk = chunk;
            break;
        }
        default: break;
    }
    Reply(response, std::move(answer), ref, label, parameters);
}

void HostState::Reply(HostResponse* response, Host::Answer answer, const RecordRef& ref,
                                 const std::string& label, const std::string& parameters) {
    auto hold = std::make_unique<ResponseHold>();
    hold->record = ref;
    hold->label = label;
    std::string outcome;
    if (!answer.error && answer.streamChunk == 0 && !answer.flatBody &&
        !FlatFromValue(answer.body, nullptr, &hold->body)) {
        ReleaseFlatValue(&hold->body);
        answer = Answer::Error(500, "Response nested too deeply");
    }
    RecordedRequest* request = Request(ref);
    // An empty body is the empty text, and goes out as such.
    const std::string json =
        answer.streamChunk != 0 && answer.streamText ? *answer.streamText : SerializeJson(answer.body, nullptr);
    if (answer.error) {
        hold->error = DuplicateText(answer.error->c_str());
        response->error = hold->error;
        response->failed = 1;
        response->status = answer.status;
        if (request != nullptr) {
            request->status = answer.status;
            request->error = answer.error;
        }
        outcome = std::to_string(answer.status) + " " + *answer.error;
    } else {
        const uint32_t status = answer.status != 0 ? answer.status : 200;
        if (request != nullptr) request->status = status;
        outcome = std::to_string(status) +
                  (answer.flatBody ? " (flat body of kind " + std::to_string(answer.flatBody->kind) + ")"
                   : json.empty()  ? ""
                                   : " " + json);
        // The hold keeps what it owns; a raw body stays its giver's.
        if (answer.streamChunk == 0) response->body = answer.flatBody ? *answer.flatBody : hold->body;
    }
    // A stream goes with an error reply too when the answer has one (hosts
    // may send an error's details that way).
    if (answer.streamChunk != 0) {
        auto stream = std::make_unique<StreamBody>();
        stream->state = this;
        stream->label = label;
        stream->text = json;
        stream->chunk = answer.streamChunk;
        stream->failAtRead = answer.streamFailAtRead;
        stream->overReport = answer.streamOverReport;
        stream->record = ref;
        stream->during = std::move(answer.during);
        stream->duringAfterRead = answer.duringAfterRead;
        response->streamRead = &ReadStream;
        response->streamRelease = &ReleaseStream;
        response->streamSize = answer.streamSizeHint.value_or(
            static_cast<uint32_t>(std::min<std::size_t>(stream->text.size(), UINT32_MAX)));
        response->stream = stream.get();
        if (request != nullptr) request->streamed = true;
        outcome += " (streamed, " + std::to_string(stream->text.size()) + " bytes in reads of at most " +
                   std::to_string(stream->chunk) + ")";
        LiveStreams().insert(stream.get());
        hold->stream = std::move(stream);
    }
    response->release = &ReleaseResponse;
    responses[response] = std::move(hold);
    ResponseOwners()[response] = this;
    Note(label + parameters + " -> " + outcome, TraceLane::Request);
}

void HostState::Finish(const HostResponse* response, bool byPlugin) {
    auto found = responses.find(response);
    if (found == responses.end()) return;
    std::unique_ptr<ResponseHold> hold = std::move(found->second);
    responses.erase(found);
    ResponseOwners().erase(response);
    if (byPlugin) {
        if (RecordedRequest* request = Request(hold->record)) request->released = true;
    } else {
        Note("the response to " + hold->label + " was never released", TraceLane::Request);
    }
    ReleaseFlatValue(&hold->body);
    Free(hold->error);
    if (hold->stream) {
        if (hold->stream->during && !hold->stream->duringRan) {
            ++missedDuring;
            Note("the steps during the read of " + hold->label + " never ran: no yield after read " +
                 std::to_string(hold->stream->duringAfterRead), TraceLane::Request);
        }
        if (lastRead == hold->stream.get()) lastRead = nullptr;
        LiveStreams().erase(hold->stream.get());
    }
}

void HostState::RunDuringRead() {
    StreamBody* stream = lastRead;
    if (stream == nullptr || !stream->during || stream->duringRan || stream->reads < stream->duringAfterRead) return;
    stream->duringRan = true;
    // A copy: what runs may end the stream's life.
    const std::function<void()> during = stream->during;
    Note("during the read of " + stream->label + ":", TraceLane::Request);
    during();
}

void HostState::ReclaimResponses() {
    while (!responses.empty()) Finish(responses.begin()->first, false);
}

bool HostState::Read(StreamBody& stream, void* buffer, uint32_t* length, bool* more) {
    const uint32_t index = stream.reads++;
    lastRead = &stream;
    const InjectedFault fault = Interact(Interaction::Kind::Read, "read " + std::to_string(index + 1) + " of " + stream.label);
    if (RecordedRequest* request = Request(stream.record)) request->streamReads = stream.reads;
    const std::string head = "stream read " + std::to_string(index + 1) + " of " + stream.label + ": ";
    if (length == nullptr || more == nullptr || stream.released) {
        Note(head + (stream.released ? "refused, the stream was released" : "refused, no length or more-flag"), TraceLane::Request);
        return false;
    }
    if (fault == InjectedFault::ReadEndsShort) {
        *length = 0;
        *more = false;
        stream.offset = stream.text.size();
        Note(head + "0 bytes, last (injected: ends short)", TraceLane::Request);
        return true;
    }
    if (fault == InjectedFault::ReadFails || (stream.failAtRead && *stream.failAtRead == index)) {
        *length = 0;
        *more = false;
        Note(head + "failed", TraceLane::Request);
        return false;
    }
    const std::size_t remaining = stream.text.size() - stream.offset;
    const uint32_t delivered =
        static_cast<uint32_t>(std::min<std::size_t>({stream.chunk, remaining, static_cast<std::size_t>(*length)}));
    if (delivered != 0 && buffer == nullptr) {
        Note(head + "refused, no buffer", TraceLane::Request);
        return false;
    }
    if (delivered != 0) std::memcpy(buffer, stream.text.data() + stream.offset, delivered);
    stream.offset += delivered;
    *more = stream.offset < stream.text.size();
    *length = SaturatingAdd32(delivered, stream.overReport);
    std::string text = head + std::to_string(delivered) + " bytes";
    if (stream.overReport != 0) text += " (reported " + std::to_string(*length) + ")";
    Note(text + (*more ? ", more" : ", last"), TraceLane::Request);
    return true;
}

}  // namespace Vorn::Host

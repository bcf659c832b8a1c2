#include "dispatch/function_call.h"

#include <cstring>
#include <limits>
#include <new>
#include <span>

#include "binding/flat_value.h"
#include "binding/number_text.h"
#include "dispatch/host_entry_guard.h"
#include "dispatch/method_name.h"
#include "dispatch/url_decode.h"
#include "formats/json_reader.h"
#include "formats/msgpack_reader.h"
#include "formats/yaml_reader.h"
#include "platform/clock.h"
#include "support/memory_hooks.h"
#include "support/message_format.h"

namespace Vorn {

namespace {

constexpr const char* kInvalidFunction = "Invalid function";
constexpr const char* kUnknownArgument = "Unknown argument '%1' for '%2'.";
constexpr const char* kInvalidLocation = "Argument '%1' for '%2' was specified in an invalid location.";
constexpr const char* kExpectedValue = "Expected value for argument '%1'.";
constexpr const char* kIndexFormat = "Index %1 is in an incorrect format";
constexpr const char* kIndexRange = "Index %1 is out of range";
constexpr const char* kUnsupportedBody = "Unsupported body content type";
constexpr const char* kExtraMessagePack = "Extra MessgePack data found in body";
constexpr const char* kBadJson = "Couldn't deserialize JSON value for parameter '%1' of '%2': %3";
constexpr const char* kBadYaml = "Couldn't deserialize YAML value for parameter '%1' of '%2': %3";
constexpr const char* kBadMessagePack = "Couldn't deserialize MessagePack value for parameter '%1' of '%2': %3";
constexpr const char* kResultTooDeep = "The result of '%1' is nested too deeply to be sent.";
constexpr const char* kCallFailed = "Function call failed";

constexpr uint32_t kStatusNotFound = 404;
constexpr uint32_t kStatusBadResult = 400;
constexpr uint32_t kStatusFailed = 500;

// The text of a response whose outcome has none; never freed.
constexpr char kEmptyText[] = "";

const char* TextOf(const char* text) { return text != nullptr ? text : ""; }

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Content types compare case-insensitively over the literal's length, so
// parameters after the type ("; charset=utf-8") do not matter.
bool HasContentType(std::string_view contentType, std::string_view literal) {
    if (contentType.size() < literal.size()) return false;
    for (std::size_t i = 0; i < literal.size(); ++i) {
        if (LowerAscii(contentType[i]) != literal[i]) return false;
    }
    return true;
}

std::string_view SkipSpaces(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

bool IsStructuredShape(BindingType type) {
    return type == BindingType::Object || type == BindingType::Vector || type == BindingType::Struct;
}

void SetResponseError(HostResponse* response, const std::string& message) {
    Free(response->error);
    response->error = DuplicateText(message.c_str());
    response->failed = 1;
}

bool VORN_HOST_CALL ReadCallStream(void* stream, void* buffer, uint32_t* length, bool* more) {
    return GuardHostEntry("Exposed function stream read", false, [&] {
        return stream != nullptr && static_cast<ResponseStream*>(stream)->Read(buffer, length, more);
    });
}

// A text copy the heap cannot make fails the call: a response handed out
// with a null text or header would lose it without saying so.
char* CopyOrThrow(const char* text) {
    char* copy = DuplicateText(text);
    if (copy == nullptr) throw std::bad_alloc();
    return copy;
}

void VORN_HOST_CALL ReleaseCallStream(void* stream) {
    GuardHostEntry("Exposed function stream release", [stream] { delete static_cast<ResponseStream*>(stream); });
}

// The query pieces of a path: split at "&" (empty pieces kept), each at its
// first "=", both sides URL-decoded.
ParameterMap QueryOf(std::string_view path) {
    ParameterMap query;
    const std::size_t mark = path.find('?');
    if (mark == std::string_view::npos) return query;
    std::string_view rest = path.substr(mark + 1);
    for (;;) {
        const std::size_t amp = rest.find('&');
        const std::string_view piece = rest.substr(0, amp);
        const std::size_t equals = piece.find('=');
        if (equals == std::string_view::npos) {
            query.Set(UrlDecode(piece), {});
        } else {
            query.Set(UrlDecode(piece.substr(0, equals)), UrlDecode(piece.substr(equals + 1)));
        }
        if (amp == std::string_view::npos) break;
        rest = rest.substr(amp + 1);
    }
    return query;
}

void ServeCall(HostResponse* response, const HostRequest* request) {
    const auto* context = request != nullptr ? static_cast<const FunctionCallContext*>(request->functionContext) : nullptr;
    RouteMatch match;
    const ExposedFunction* function = context != nullptr ? context->function.get() : nullptr;
    if (function != nullptr) {
        match.method = NormalizeMethodCode(request->method);
        if (match.method == kHostMethodCustom) match.customMethod = TextOf(request->customMethod);
        match.path = TextOf(request->path);
    }
    if (function == nullptr || !MatchRoutes(match, std::span<const Route>(&function->route, 1))) {
        SetResponseError(response, kInvalidFunction);
        response->status = kStatusNotFound;
        return;
    }
    FunctionCall call(function->description, context->registry);
    call.Run(*request, match, response);
}

}  // namespace

void CallOutcome::Fail(std::string_view message) {
    if (!result.ok) return;
    Replace(message);
}

void CallOutcome::Replace(std::string_view message) {
    result.Replace(message);
    stream.reset();
}

bool WantsCallContext(uint32_t resultType) {
    for (uint32_t type : kContextResultTypes) {
        if (type == resultType) return true;
    }
    return false;
}

FunctionCall::FunctionCall(const BindingFunctionDescription& function, const TypeRegistry* registry)
    : function_(function), registry_(registry), arguments_(function.arguments.size()) {
    // A required switch that nobody sets is off.
    for (std::size_t i = 0; i < arguments_.size(); ++i) {
        const BindingArgumentDescription& argument = function.arguments[i];
        if (argument.type.type == BindingType::Bool && !argument.optional) arguments_[i].SetBool(false);
    }
}

const BindingArgumentDescription* FunctionCall::FindArgument(std::string_view name, std::size_t* index) const {
    for (std::size_t i = 0; i < function_.arguments.size(); ++i) {
        if (function_.arguments[i].name == name) {
            *index = i;
            return &function_.arguments[i];
        }
    }
    return nullptr;
}

void FunctionCall::Run(const HostRequest& request, const RouteMatch& match, HostResponse* response) {
    const uint64_t startTime = Platform::SystemTimeTicks();
    ParameterMap headers;
    const uint32_t headerCount = request.headers != nullptr ? request.headerCount : 0;
    for (uint32_t i = 0; i < headerCount; ++i) {
        if (request.headers[i].name != nullptr) headers.Set(request.headers[i].name, TextOf(request.headers[i].value));
    }
    // Headers reach the arguments that take them by the argument's name in
    // lower case; names are compared as sent.
    ParameterMap headerArguments;
    for (std::size_t i = 0; i < function_.arguments.size(); ++i) {
        const ArgumentLocation location = function_.locations[i];
        if (location != ArgumentLocation::Any && location != ArgumentLocation::Header) continue;
        std::string lower = function_.arguments[i].name;
        for (char& c : lower) c = LowerAscii(c);
        if (const std::string* value = headers.Find(lower)) headerArguments.Set(function_.arguments[i].name, *value);
    }
    const ParameterMap query = QueryOf(match.path);

    for (const auto& [key, value] : headerArguments) {
        if (outcome_.Ok()) AssignArgument(key, value, {}, ArgumentLocation::Header);
    }
    for (const auto& [key, value] : match.parameters) {
        if (outcome_.Ok()) AssignArgument(key, value, {}, ArgumentLocation::Path);
    }
    for (const auto& [key, value] : query) {
        if (outcome_.Ok()) AssignArgument(key, value, {}, ArgumentLocation::Query);
    }
    AssignNamedValues(request.values, request.valueCount, match.parameters.Size());
    if (request.body != nullptr) AssignBody(request.contentType, request.body, request.bodyLength);

    FunctionInvoker& invoker = *function_.invoker;
    // Released after the response is filled, and also when filling it throws.
    struct CallHandle {
        FunctionInvoker& invoker;
        uintptr_t value = 0;
        ~CallHandle() {
            if (value != 0) invoker.Release(value);
        }
    } handle{invoker};
    if (outcome_.Ok()) handle.value = invoker.Invoke(outcome_, arguments_, request.context);
    if (outcome_.Ok()) {
        if (WantsCallContext(invoker.ResultType())) {
            CallContext context;
            context.requestWord = request.context;
            context.registry = registry_;
            context.startTime = startTime;
            context.path = match.path;
            context.method = match.method;
            context.customMethod = match.customMethod;
            for (const auto& [name, value] : headers) context.headers[name] = value;
            invoker.Complete(outcome_, &context, handle.value, request.context);
        } else {
            invoker.Complete(outcome_, nullptr, handle.value, request.context);
        }
    }
    FillResponse(response, outcome_, registry_, function_.name);
}

void FunctionCall::AssignArgument(std::string_view key, std::string_view value, std::string_view contentType,
                                  ArgumentLocation source) {
    const std::size_t dot = key.find('.');
    const std::string_view name = key.substr(0, dot);
    std::size_t index = 0;
    const BindingArgumentDescription* argument = FindArgument(name, &index);
    if (argument == nullptr) return outcome_.Fail(FormatMessage(kUnknownArgument, {name, function_.name}));
    const ArgumentLocation allowed = function_.locations[index];
    if (allowed != ArgumentLocation::Any && allowed != source) {
        return outcome_.Fail(FormatMessage(kInvalidLocation, {name, function_.name}));
    }
    BindingProperty& target = arguments_[index];
    const BindingType type = argument->type.type;
    if (dot == std::string_view::npos) {
        if (!value.empty()) return DecodeParameterValue(target, argument->name, value, contentType, IsStructuredShape(type));
        switch (type) {
            case BindingType::Bool: target.SetBool(true); return;  // a bare "?verbose" switches on
            case BindingType::Object:
            case BindingType::Struct:
                target.Reset();
                target.MakeStructure();
                return;
            case BindingType::Vector:
                target.Reset();
                target.MakeCollection();
                return;
            default: return outcome_.Fail(FormatMessage(kExpectedValue, {argument->name}));
        }
    }
    // The sub-path, one segment at a time: indices make collections, other
    // segments members; the last segment receives the value.
    BindingProperty* current = &target;
    std::string_view rest = key.substr(dot + 1);
    for (;;) {
        const std::size_t next = rest.find('.');
        const std::string_view segment = rest.substr(0, next);
        if (!segment.empty() && segment[0] >= '0' && segment[0] <= '9') {
            const IntegerText number = ReadIntegerText(segment);
            if (!number.wellFormed) return outcome_.Fail(FormatMessage(kIndexFormat, {segment}));
            if (number.overflow || number.magnitude > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
                return outcome_.Fail(FormatMessage(kIndexRange, {segment}));
            }
            const auto position = static_cast<std::size_t>(number.magnitude);
            const std::size_t size = current->Kind() == BindingKind::Collection ? current->Count() : 0;
            const std::size_t added = position >= size ? position + 1 - size : 0;
            if (added > kMaxIndexedElements - indexedElements_) {
                return outcome_.Fail(FormatMessage(kIndexRange, {segment}));
            }
            indexedElements_ += added;
            current = &current->Element(position);
        } else {
            current = &current->Member(segment);
        }
        if (next == std::string_view::npos) return DecodeParameterValue(*current, segment, value, contentType, false);
        rest = rest.substr(next + 1);
    }
}

void FunctionCall::DecodeParameterValue(BindingProperty& target, std::string_view parameter, std::string_view value,
                                        std::string_view contentType, bool structured) {
    const bool sniff = structured && contentType.empty();
    const std::string_view text = SkipSpaces(value);
    auto take = [&](BindingResult decoded, const char* failure) {
        if (!decoded.ok) return outcome_.Fail(FormatMessage(failure, {parameter, function_.name, decoded.Message()}));
        target = std::move(decoded.value);
    };
    if (HasContentType(contentType, "application/x-msgpack") || (sniff && LooksLikeMessagePack(value))) {
        take(ReadMessagePack(value), kBadMessagePack);
    } else if (HasContentType(contentType, "application/json") ||
               (sniff && !text.empty() && (text[0] == '{' || text[0] == '['))) {
        take(DeserializeJson(value), kBadJson);
    } else if (HasContentType(contentType, "text/x-yaml") || (sniff && text.substr(0, 3) == "---")) {
        take(DeserializeYaml(value), kBadYaml);
    } else if (HasContentType(contentType, "application/octet-stream")) {
        target.SetBlob(value.data(), value.size());
    } else {
        target.SetString(value);
    }
}

void FunctionCall::AssignNamedValues(const HostNamedValue* values, uint32_t count, std::size_t parameterCount) {
    if (values == nullptr) return;
    for (uint32_t i = 0; i < count && outcome_.Ok(); ++i) {
        const HostNamedValue& entry = values[i];
        std::size_t index = 0;
        bool found = false;
        std::string label;
        if (entry.name != nullptr) {
            found = FindArgument(entry.name, &index) != nullptr;
            label = entry.name;
        } else {
            // Unnamed values follow the path's parameters.
            index = i + parameterCount;
            found = index < arguments_.size();
            label = std::to_string(index);
        }
        if (!found) return outcome_.Fail(FormatMessage(kUnknownArgument, {label, function_.name}));
        BindingFlatResult conversion{};
        if (!ValueFromFlat(entry.value, function_.arguments[index].name, arguments_[index], &conversion)) {
            outcome_.Fail(TextOf(conversion.message));
        }
        ReleaseFlatResult(&conversion);
    }
}

void FunctionCall::AssignBody(const char* contentType, const uint8_t* body, uint32_t length) {
    std::size_t index = 0;
    while (index < function_.locations.size() && function_.locations[index] != ArgumentLocation::Body) ++index;
    if (index == function_.locations.size()) return;
    // A body failure is the one reported, whatever failed before it.
    const std::string_view type = TextOf(contentType);
    const std::string_view bytes(reinterpret_cast<const char*>(body), length);
    BindingResult decoded;
    if (HasContentType(type, "application/x-msgpack")) {
        std::size_t consumed = 0;
        decoded = ReadMessagePack(bytes, &consumed);
        if (decoded.ok && consumed < bytes.size()) return outcome_.Replace(kExtraMessagePack);
    } else if (HasContentType(type, "application/json") || HasContentType(type, "application/vnd.api+json")) {
        decoded = DeserializeJson(bytes);
    } else if (HasContentType(type, "application/x-yaml")) {
        decoded = DeserializeYaml(bytes);
    } else {
        // A body without a content type is as unreadable as one of an unknown type.
        return outcome_.Replace(kUnsupportedBody);
    }
    if (!decoded.ok) return outcome_.Replace(decoded.Message());
    arguments_[index] = std::move(decoded.value);
}

void FillResponse(HostResponse* response, CallOutcome& outcome, const TypeRegistry* registry,
                  std::string_view functionName) {
    bool unconvertible = false;
    if (!outcome.Ok()) {
        SetResponseError(response, std::string(outcome.result.Message()));
    } else {
        BindingFlatValue body{};
        if (FlatFromValue(outcome.result.value, registry, &body)) {
            response->body = body;
        } else {
            // A result that cannot be sent is a failure, not an empty success.
            ReleaseFlatValue(&body);
            unconvertible = true;
            outcome.stream.reset();
            SetResponseError(response, FormatMessage(kResultTooDeep, {functionName}));
        }
    }
    response->flag = outcome.flag;
    response->resultForm = outcome.resultForm >= 1 && outcome.resultForm <= 3 ? outcome.resultForm : 0;
    response->status = unconvertible ? kStatusBadResult : outcome.status;
    response->text = outcome.text.empty() ? kEmptyText : CopyOrThrow(outcome.text.c_str());
    if (!outcome.headers.empty()) {
        const std::size_t bytes = outcome.headers.size() * sizeof(HostHeader);
        auto* headers = static_cast<HostHeader*>(Allocate(bytes));
        if (headers == nullptr) throw std::bad_alloc();
        std::memset(static_cast<void*>(headers), 0, bytes);
        response->headers = headers;
        response->headerCount = static_cast<uint32_t>(outcome.headers.size());
        for (std::size_t i = 0; i < outcome.headers.size(); ++i) {
            headers[i].name = CopyOrThrow(outcome.headers[i].first.c_str());
            headers[i].value = CopyOrThrow(outcome.headers[i].second.c_str());
        }
    }
    if (outcome.stream != nullptr) {
        response->streamRead = &ReadCallStream;
        response->streamRelease = &ReleaseCallStream;
        response->streamSize = outcome.stream->Size();
        response->reserved = 0;
        response->stream = outcome.stream.release();
    }
}

void VORN_HOST_CALL ReleaseCallResponse(HostResponse* response) {
    GuardHostEntry("Exposed function response release", [response] {
        if (response == nullptr) return;
        BindingFlatValue body = response->body;
        ReleaseFlatValue(&body);
        Free(response->error);
        if (response->text != kEmptyText) Free(const_cast<char*>(response->text));
        HostHeader* headers = response->headers;
        const uint32_t count = response->headerCount;
        for (uint32_t i = 0; headers != nullptr && i < count; ++i) {
            Free(const_cast<char*>(headers[i].name));
            Free(const_cast<char*>(headers[i].value));
        }
        Free(headers);
        std::memset(static_cast<void*>(response), 0, sizeof(*response));
    });
}

void VORN_HOST_CALL CallExposedFunction(HostResponse* response, const HostRequest* request) {
    const bool served = GuardHostEntry("Exposed function call", false, [&] {
        if (response == nullptr) return true;
        // A record passed again without being released: what this library
        // filled it with is released first. Anything else is only cleared (a
        // record the host never filled holds nothing of ours to free).
        if (response->release == &ReleaseCallResponse) ReleaseCallResponse(response);
        std::memset(static_cast<void*>(response), 0, sizeof(*response));
        response->release = &ReleaseCallResponse;
        ServeCall(response, request);
        return true;
    });
    if (served) return;
    // The guard has logged why; the host gets a failure it can release.
    if (response->stream != nullptr && response->streamRelease != nullptr) response->streamRelease(response->stream);
    ReleaseCallResponse(response);
    response->release = &ReleaseCallResponse;
    response->error = DuplicateText(kCallFailed);
    response->failed = 1;
    response->status = kStatusFailed;
}

}  // namespace Vorn

#include "host_script.h"

#include <charconv>
#include <memory>

#include "dispatch/method_name.h"
#include "flat_recipe.h"
#include "formats/json_reader.h"

namespace Vorn::Fuzz {

namespace {

constexpr int kMaxLines = 64;
constexpr int kMaxDepth = 4;
constexpr int kMaxReentries = 16;
constexpr uint64_t kMaxAdvanceMilliseconds = 60'000;
// A timer of no interval fires at every turn: a turn runs this many tasks.
constexpr uint64_t kTasksPerAdvance = 1000;

// The next word of the line (up to a space), taken off its front.
std::string_view Word(std::string_view& line) {
    const std::size_t space = line.find(' ');
    const std::string_view word = line.substr(0, space);
    line = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    return word;
}

uint64_t Number(std::string_view word, uint64_t limit) {
    uint64_t n = 0;
    std::from_chars(word.data(), word.data() + word.size(), n);
    return n < limit ? n : limit;
}

BindingProperty Json(std::string_view text) {
    BindingResult result = DeserializeJson(text);
    return result.ok ? std::move(result.value) : BindingProperty();
}

uint32_t MethodCode(std::string_view name) {
    for (uint32_t code = 1; code <= 7; ++code) {
        if (name == MethodName(code)) return code;
    }
    return 0;
}

// Member names and texts the plug-ins read, so raw payloads reach their
// conversions; the recipe picks among them.
const std::vector<const char*>& RecipeTexts() {
    static const std::vector<const char*> texts{
        nullptr, "", "uri", "eventType", "data", "Update", "Create", "Delete", "phase", "None", "id",
        "gameMode", "mapId", "lastToggledOnTime", "state", "queueId", "eligible", "action", "path",
        "\xC3\xA9", "/qel-gameflow/v1/session", "/test/v1/command"};
    return texts;
}

}  // namespace

HostScript::HostScript(Host::SimulatedHost& host, std::string libraryPath)
    : host_(host), libraryPath_(std::move(libraryPath)) {
    host_.SetTaskLimit(kTasksPerAdvance);
}

bool HostScript::Begin() {
    std::string error;
    if (!host_.Load(libraryPath_, &error)) return false;
    host_.Start();
    return true;
}

void HostScript::End() {
    if (host_.IsStarted()) host_.Stop();
}

void HostScript::Run(std::string_view script) {
    for (int lines = 0; lines < kMaxLines && !script.empty(); ++lines) {
        const std::size_t end = script.find('\n');
        RunLine(script.substr(0, end), 0);
        script = end == std::string_view::npos ? std::string_view() : script.substr(end + 1);
    }
}

void HostScript::RunLine(std::string_view line, int depth) {
    const std::string_view verb = Word(line);
    if (verb == "store" || verb == "create" || verb == "update") {
        const std::string path(Word(line));
        BindingProperty body = Json(line);
        if (verb == "store") host_.SetResource(path, std::move(body));
        if (verb == "create") host_.Create(path, std::move(body));
        if (verb == "update") host_.Update(path, std::move(body));
    } else if (verb == "remove") {
        host_.RemoveResource(std::string(line));
    } else if (verb == "delete") {
        host_.Delete(std::string(line));
    } else if (verb == "event") {
        const std::string name(Word(line));
        const std::string_view typeName = Word(line);
        const std::string uri(Word(line));
        const Host::EventType type = typeName == "Create"   ? Host::EventType::Create
                                     : typeName == "Delete" ? Host::EventType::Delete
                                                            : Host::EventType::Update;
        std::optional<BindingProperty> data;
        if (!line.empty()) data = Json(line);
        host_.DeliverResourceEvent(name, uri, type, data);
    } else if (verb == "payload") {
        const std::string name(Word(line));
        host_.DeliverEvent(name, Json(line));
    } else if (verb == "flat") {
        const std::string name(Word(line));
        const std::string_view faultName = Word(line);
        const Host::RecordFault fault = faultName == "name"   ? Host::RecordFault::NullName
                                        : faultName == "user" ? Host::RecordFault::NullUser
                                                              : Host::RecordFault::None;
        Recipe recipe(reinterpret_cast<const uint8_t*>(line.data()), line.size(), RecipeTexts());
        BindingFlatValue payload;
        recipe.Build(payload, 0);
        host_.DeliverFlatEvent(name.c_str(), payload, fault);
    } else if (verb == "answer") {
        const std::string_view method = Word(line);
        const std::string path(Word(line));
        SetAnswer(method, path, line);
    } else if (verb == "during") {
        if (answers_.empty()) return;
        const uint32_t afterRead = static_cast<uint32_t>(Number(Word(line), 64));
        answers_.back().answer->duringAfterRead = afterRead;
        // A re-entered line may set off the same answer again: the nesting
        // and the number of re-entries are bounded, as a host's events are
        // (one during every wait, for ever, keeps any plug-in busy for ever).
        answers_.back().answer->during = [this, nested = std::string(line)] {
            if (reentry_ >= kMaxDepth || reentries_ >= kMaxReentries) return;
            ++reentry_;
            ++reentries_;
            RunLine(nested, reentry_);
            --reentry_;
        };
    } else if (verb == "hook") {
        if (Word(line) != "stream") {
            host_.SetAnswerHook(nullptr);
            return;
        }
        const uint32_t chunk = static_cast<uint32_t>(Number(Word(line), 1 << 16));
        host_.SetAnswerHook([chunk](const Host::RecordedRequest&, Host::Answer& answer) {
            if (answer.streamChunk == 0 && !answer.flatBody) answer.streamChunk = chunk == 0 ? 1 : chunk;
        });
    } else if (verb == "fault") {
        const uint64_t ahead = Number(Word(line), 16);
        const std::string_view kind = Word(line);
        const Host::InjectedFault fault = kind == "answer"       ? Host::InjectedFault::AnswerFails
                                          : kind == "wrong-kind" ? Host::InjectedFault::AnswerWrongKind
                                          : kind == "read"       ? Host::InjectedFault::ReadFails
                                          : kind == "short"      ? Host::InjectedFault::ReadEndsShort
                                          : kind == "task"       ? Host::InjectedFault::TaskDropped
                                                                 : Host::InjectedFault::None;
        host_.InjectFault(host_.Interactions().size() + 1 + ahead, fault);
    } else if (verb == "advance") {
        host_.Advance(Number(Word(line), kMaxAdvanceMilliseconds) * 1'000'000);
    } else if (depth > 0) {
        // A host does not stop or unload a plug-in from inside its own call.
        return;
    } else if (verb == "stop") {
        End();
    } else if (verb == "restart") {
        End();
        host_.Unload();
        answers_.clear();
        Begin();
    }
}

void HostScript::SetAnswer(std::string_view method, const std::string& path, std::string_view how) {
    const std::string_view kind = Word(how);
    auto answer = std::make_shared<Host::Answer>();
    if (kind == "body") {
        answer->body = Json(how);
    } else if (kind == "error") {
        answer->status = static_cast<uint32_t>(Number(Word(how), 999));
        answer->error = std::string(how);
    } else if (kind.starts_with("stream")) {
        answer->streamChunk = static_cast<uint32_t>(Number(Word(how), 1 << 16));
        if (answer->streamChunk == 0) answer->streamChunk = 1;
        if (kind == "stream-fail") answer->streamFailAtRead = static_cast<uint32_t>(Number(Word(how), 64));
        if (kind == "stream-over") answer->streamOverReport = static_cast<uint32_t>(Number(Word(how), 1 << 20));
        if (kind == "stream-text") {
            answer->streamSizeHint = static_cast<uint32_t>(Number(Word(how), UINT32_MAX));
            answer->streamText = std::string(how);
        } else {
            answer->body = Json(how);
        }
    } else if (kind == "flat") {
        // The flat body is kept with the answer: the host sends it as given
        // and never frees it.
        auto recipe = std::make_shared<Recipe>(reinterpret_cast<const uint8_t*>(how.data()), how.size(), RecipeTexts());
        BindingFlatValue flat;
        recipe->Build(flat, 0);
        answer->flatBody = flat;
        recipes_.push_back(std::move(recipe));
    } else {
        return;
    }
    const uint32_t code = MethodCode(method);
    answers_.push_back({code, path, answer});
    host_.SetEndpoint(code, path, [answer](const Host::RecordedRequest&) { return *answer; });
}

}  // namespace Vorn::Fuzz

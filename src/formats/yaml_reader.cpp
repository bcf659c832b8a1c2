#include "formats/yaml_reader.h"

#include <yaml.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "binding/binding_limits.h"
#include "formats/yaml_scalar.h"
#include "support/message_format.h"

namespace Vorn {

namespace {

// Each message text appears once, next to the rule that produces it.
constexpr const char* kMultiDocument = "Multi-document YAML is not supported.";
constexpr const char* kInvalidKey = "Invalid mapping key. Only string scalar keys are allowed. At line: %1 col: %2";
constexpr const char* kDuplicateAnchor = "Duplicate occurrence of anchor \"%1\". At line: %2 col: %3";
constexpr const char* kSequenceAsKey = "Unexpected start of sequence. At line: %1 col: %2";
constexpr const char* kMappingAsKey = "Unexpected start of mapping. At line: %1 col: %2";
constexpr const char* kCyclicAlias = "Cannot deserialize cyclic aliases. Alias \"%1\". At line: %2 col: %3";
constexpr const char* kUndefinedAlias = "Undefined alias encountered: \"%1\". At line: %2 col: %3";
constexpr const char* kParserError = "YAML parser error: %1. At line: %2 col: %3";
constexpr const char* kTooDeep = "Nesting is deeper than %1 levels. At line: %2 col: %3";
constexpr const char* kAliasesTooLarge = "Aliases expand to more than %1 values. At line: %2 col: %3";

// One level of the node stacks: the value being built (a frame) and how it is
// reached from its parent (a path step).
enum class StepKind : uint8_t { Element, Member, Root };

struct Level {
    BindingProperty* value = nullptr;
    StepKind kind = StepKind::Root;
    uint32_t index = 0;
    std::string name;  // a member's name; the slot's buffer is reused
};

struct StoredStep {
    StepKind kind;
    uint32_t index;
    std::string name;
};

// An anchor names either a node, by its path from the root, or a mapping
// key, by its text.
struct Anchor {
    bool onKey = false;
    std::vector<StoredStep> path;
    std::string keyText;
};

// Owns the parser and the current event, so that every way out frees them.
class YamlEvents {
public:
    YamlEvents(const char* text, std::size_t length) {
        if (yaml_parser_initialize(&parser_) == 0) throw std::bad_alloc();
        yaml_parser_set_encoding(&parser_, YAML_UTF8_ENCODING);
        // libyaml insists on an input pointer even for no input.
        yaml_parser_set_input_string(&parser_, reinterpret_cast<const unsigned char*>(text != nullptr ? text : ""),
                                     length);
        std::memset(&event_, 0, sizeof(event_));
    }
    ~YamlEvents() {
        yaml_event_delete(&event_);
        yaml_parser_delete(&parser_);
    }
    YamlEvents(const YamlEvents&) = delete;
    YamlEvents& operator=(const YamlEvents&) = delete;

    // False once the parser reports an error.
    bool Next() {
        yaml_event_delete(&event_);
        return yaml_parser_parse(&parser_, &event_) != 0;
    }
    const yaml_event_t& Event() const { return event_; }
    const yaml_parser_t& Parser() const { return parser_; }

private:
    yaml_parser_t parser_;
    yaml_event_t event_;
};

class YamlReader {
public:
    YamlReader(BindingResult& result, std::size_t length) : result_(result) {
        aliasCopyLimit_ = std::max(kYamlAliasCopyFloor, kYamlAliasCopyPerByte * static_cast<uint64_t>(length));
        levels_.emplace_back();
        levels_[0].value = &result_.value;
        depth_ = 1;
    }

    void Read(const char* text, std::size_t length) {
        YamlEvents events(text, length);
        bool parsed = events.Next();
        while (parsed && events.Event().type != YAML_STREAM_END_EVENT && result_.ok) {
            OnEvent(events.Event());
            if (!result_.ok) break;  // never ask libyaml for more after a failure
            parsed = events.Next();
        }
        if (result_.ok && !parsed) {
            const yaml_parser_t& parser = events.Parser();
            std::size_t line = parser.problem_mark.line;
            std::size_t column = parser.problem_mark.column;
            if (parser.error == YAML_READER_ERROR) {
                // libyaml's input decoder gives only a byte offset, no mark:
                // counted here as its marks count, from 0, in characters.
                line = 0;
                column = 0;
                for (std::size_t i = 0; i < parser.problem_offset && i < length; ++i) {
                    if (text[i] == '\n') {
                        ++line;
                        column = 0;
                    } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
                        ++column;
                    }
                }
            }
            result_.Fail(FormatMessage(kParserError, {parser.problem, line, column}));
        }
    }

private:
    void Fail(const char* format, std::initializer_list<FormatArg> args) { result_.Fail(FormatMessage(format, args)); }

    // Line and column of the event, counted from 1.
    void FailAt(const char* format, const yaml_event_t& event) {
        Fail(format, {event.start_mark.line + 1, event.start_mark.column + 1});
    }
    void FailAt(const char* format, FormatArg first, const yaml_event_t& event) {
        Fail(format, {first, event.start_mark.line + 1, event.start_mark.column + 1});
    }

    void OnEvent(const yaml_event_t& event) {
        switch (event.type) {
            case YAML_DOCUMENT_START_EVENT:
                if (documentStarted_) Fail(kMultiDocument, {});
                documentStarted_ = true;
                return;
            case YAML_SCALAR_EVENT:
            case YAML_ALIAS_EVENT:
            case YAML_SEQUENCE_START_EVENT:
            case YAML_SEQUENCE_END_EVENT:
            case YAML_MAPPING_START_EVENT:
            case YAML_MAPPING_END_EVENT: break;
            default: return;  // stream start, document end
        }

        // The target: a new element of a collection, the member named by the
        // pending key, or else the innermost node itself (a mapping in key
        // position, the root, or a node that ends).
        BindingProperty& innermost = *levels_[depth_ - 1].value;
        bool keyPosition = false;
        if (innermost.Kind() == BindingKind::Collection && event.type != YAML_SEQUENCE_END_EVENT) {
            Level& level = Push();
            level.kind = StepKind::Element;
            level.index = static_cast<uint32_t>(innermost.Count());
            level.value = &innermost.AppendElement();
        } else if (innermost.Kind() == BindingKind::Structure && hasPendingKey_) {
            Level& level = Push();
            level.kind = StepKind::Member;
            level.name.swap(pendingKey_);
            hasPendingKey_ = false;
            level.value = &innermost.Member(level.name);
        } else {
            keyPosition = innermost.Kind() == BindingKind::Structure;
        }
        Level& target = levels_[depth_ - 1];

        switch (event.type) {
            case YAML_SCALAR_EVENT: OnScalar(event, target, keyPosition); break;
            case YAML_ALIAS_EVENT: OnAlias(event, target, keyPosition); break;
            case YAML_SEQUENCE_START_EVENT:
                OnContainerStart(event, target, keyPosition, event.data.sequence_start.anchor);
                break;
            case YAML_MAPPING_START_EVENT:
                OnContainerStart(event, target, keyPosition, event.data.mapping_start.anchor);
                break;
            default: Pop(); break;  // sequence end, mapping end
        }
    }

    Level& Push() {
        if (depth_ == levels_.size()) levels_.emplace_back();
        return levels_[depth_++];
    }
    // The root's level stays: nothing follows the root node in one document.
    void Pop() {
        if (depth_ > 1) --depth_;
    }

    void OnScalar(const yaml_event_t& event, Level& target, bool keyPosition) {
        const auto& scalar = event.data.scalar;
        const char* text = reinterpret_cast<const char*>(scalar.value);
        const char* tag = reinterpret_cast<const char*>(scalar.tag);
        const char* anchor = reinterpret_cast<const char*>(scalar.anchor);
        if (keyPosition) {
            if (tag != nullptr && std::strcmp(tag, YAML_STR_TAG) != 0) return FailAt(kInvalidKey, event);
            pendingKey_.assign(text, scalar.length);
            hasPendingKey_ = true;
            // The anchor stands for the key's text. It does not mark the
            // mapping for the cycle check: an alias of a key copies a string
            // and can never hold its own mapping.
            if (anchor == nullptr) return;
            if (Anchor* entry = NewAnchor(anchor, event)) {
                entry->onKey = true;
                entry->keyText = pendingKey_;
            }
            return;
        }
        const bool quoted = scalar.style == YAML_SINGLE_QUOTED_SCALAR_STYLE ||
                            scalar.style == YAML_DOUBLE_QUOTED_SCALAR_STYLE;
        YamlScalarToValue(result_, *target.value, tag, text, scalar.length, quoted);
        if (anchor != nullptr) RecordPath(anchor, event);
        Pop();
    }

    void OnContainerStart(const yaml_event_t& event, Level& target, bool keyPosition, const yaml_char_t* anchor) {
        const bool sequence = event.type == YAML_SEQUENCE_START_EVENT;
        if (keyPosition) return FailAt(sequence ? kSequenceAsKey : kMappingAsKey, event);
        // The levels hold the root and every open container, so depth_ is
        // this container's nesting depth.
        if (depth_ > kMaxNestingDepth) return FailAt(kTooDeep, kMaxNestingDepth, event);
        if (sequence) {
            target.value->MakeCollection();
        } else {
            target.value->MakeStructure();
        }
        if (anchor != nullptr) RecordPath(reinterpret_cast<const char*>(anchor), event);
    }

    void OnAlias(const yaml_event_t& event, Level& target, bool keyPosition) {
        const char* name = reinterpret_cast<const char*>(event.data.alias.anchor);
        // An alias cannot be a key: it would stand where the mapping itself
        // is the target.
        if (keyPosition) return FailAt(kInvalidKey, event);
        const auto found = anchors_.find(name);
        if (found == anchors_.end()) return FailAt(kUndefinedAlias, name, event);
        const Anchor& anchor = found->second;
        if (anchor.onKey) {
            target.value->SetString(anchor.keyText);
            Pop();
            return;
        }
        // The anchored node encloses the alias (an alias inside its own
        // anchored node, or inside a node merged into it by a repeated key):
        // the copy would have to contain itself.
        if (IsAncestorOfTarget(anchor.path)) return FailAt(kCyclicAlias, name, event);

        const BindingProperty* source = levels_[0].value;
        for (const StoredStep& step : anchor.path) {
            source = step.kind == StepKind::Element ? &source->GetElement(step.index) : &source->GetMember(step.name);
        }
        const uint64_t allowed = aliasCopyLimit_ - aliasCopied_;
        const SubtreeSize size = Measure(*source, allowed);
        if (size.values > allowed) return FailAt(kAliasesTooLarge, aliasCopyLimit_, event);
        // Above the target's level are the containers that enclose it.
        if ((depth_ - 1) + size.height > kMaxNestingDepth) return FailAt(kTooDeep, kMaxNestingDepth, event);
        aliasCopied_ += size.values;
        *target.value = *source;
        Pop();
    }

    // Records the target's path under a new anchor name.
    void RecordPath(const char* name, const yaml_event_t& event) {
        Anchor* entry = NewAnchor(name, event);
        if (entry == nullptr) return;
        entry->path.reserve(depth_ - 1);
        for (std::size_t i = 1; i < depth_; ++i) {
            entry->path.push_back({levels_[i].kind, levels_[i].index, levels_[i].name});
        }
    }

    // Null, with the failure recorded, for a name in use.
    Anchor* NewAnchor(const char* name, const yaml_event_t& event) {
        const auto [entry, added] = anchors_.try_emplace(name);
        if (!added) {
            FailAt(kDuplicateAnchor, name, event);
            return nullptr;
        }
        return &entry->second;
    }

    // Whether path leads to a strict ancestor of the target (the alias's own
    // level is the last one).
    bool IsAncestorOfTarget(const std::vector<StoredStep>& path) const {
        if (path.size() + 1 >= depth_) return false;
        for (std::size_t i = 0; i < path.size(); ++i) {
            const Level& level = levels_[i + 1];
            if (path[i].kind != level.kind) return false;
            if (level.kind == StepKind::Element ? path[i].index != level.index : path[i].name != level.name) return false;
        }
        return true;
    }

    struct SubtreeSize {
        uint64_t values = 0;
        std::size_t height = 0;  // containers on the deepest branch
    };

    // Counts the values of a subtree, stopping once past limit.
    SubtreeSize Measure(const BindingProperty& root, uint64_t limit) {
        SubtreeSize size;
        walk_.clear();
        walk_.push_back({&root, 0});
        while (!walk_.empty() && size.values <= limit) {
            const auto [value, depth] = walk_.back();
            walk_.pop_back();
            ++size.values;
            if (value->Kind() == BindingKind::Collection) {
                size.height = std::max(size.height, depth + 1);
                for (const BindingProperty& element : value->Elements()) walk_.push_back({&element, depth + 1});
            } else if (value->Kind() == BindingKind::Structure) {
                size.height = std::max(size.height, depth + 1);
                for (const auto& member : *value->StructureMembers()) walk_.push_back({&member.second, depth + 1});
            }
        }
        return size;
    }

    BindingResult& result_;
    std::vector<Level> levels_;  // [0] is the root; slots above depth_ are kept for reuse
    std::size_t depth_ = 0;
    std::string pendingKey_;
    bool hasPendingKey_ = false;  // a key may be the empty text
    std::unordered_map<std::string, Anchor> anchors_;
    bool documentStarted_ = false;
    uint64_t aliasCopyLimit_ = 0;
    uint64_t aliasCopied_ = 0;
    std::vector<std::pair<const BindingProperty*, std::size_t>> walk_;
};

}  // namespace

BindingResult DeserializeYaml(std::string_view text) {
    BindingResult result;
    YamlReader(result, text.size()).Read(text.data(), text.size());
    return result;
}

}  // namespace Vorn

#include "host-simulator/payload_shapes.h"

#include <cctype>
#include <cstdint>
#include <limits>

#include "binding/binding_type.h"

namespace Vorn::HostSimulator {

namespace {

// Structures nest no deeper than this in a shaped value: a type that holds
// itself would otherwise never end.
constexpr int kMaxShapeDepth = 6;
// Below the readers' nesting limit of 512 with room for the scenario's own
// levels around the value.
constexpr int kDeepNesting = 480;
constexpr std::size_t kLongText = 70000;

bool HasTag(const BindingProperty& entry, std::string_view tag) {
    for (const BindingProperty& candidate : entry.GetMember("tags").Elements()) {
        if (candidate.AsString() == tag) return true;
    }
    return false;
}

// Lower-case words of at least 3 letters: "/qel-game-queues/v1/queues" and
// "QelGameQueue" both give qel, game, queue(s).
std::vector<std::string> Words(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    auto end = [&] {
        if (word.size() >= 3) words.push_back(word);
        word.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (!std::isalpha(c)) {
            end();
            continue;
        }
        if (std::isupper(c) && i > 0 && std::islower(static_cast<unsigned char>(text[i - 1]))) end();
        word += static_cast<char>(std::tolower(c));
    }
    end();
    return words;
}

std::size_t SharedWords(const std::vector<std::string>& path, const std::vector<std::string>& type) {
    std::size_t shared = 0;
    for (const std::string& p : path) {
        for (const std::string& t : type) {
            if (p.rfind(t, 0) == 0 || t.rfind(p, 0) == 0) {
                ++shared;
                break;
            }
        }
    }
    return shared;
}

const char* const kTexts[] = {"", "a", "Example", "None", "0", "true", "/a/b", "ü€😀", "with space"};

BindingProperty Text(std::string_view text) {
    BindingProperty value;
    value.SetString(text);
    return value;
}

}  // namespace

BindingProperty SpoiltValue(SeededRandom& random) {
    BindingProperty value;
    switch (random.Below(12)) {
        case 0: break;  // empty (null)
        case 1: value.SetBool(random.Chance(1, 2)); break;
        case 2: value.SetSigned(std::numeric_limits<int64_t>::min()); break;
        case 3: value.SetUnsigned(std::numeric_limits<uint64_t>::max()); break;
        case 4: value.SetDouble(random.Chance(1, 2) ? 1e308 : -2.5e-308); break;
        case 5: value.SetSigned(-1); break;
        case 6: value.SetString(std::string(kLongText, 'x')); break;
        case 7: value.SetString(kTexts[random.Below(std::size(kTexts))]); break;
        case 8: value.MakeCollection(); break;
        case 9: value.MakeStructure(); break;
        case 10: {
            BindingProperty* level = &value;
            for (int i = 0; i < kDeepNesting; ++i) level = &level->AppendElement();
            level->SetSigned(1);
            break;
        }
        default: {
            BindingProperty* level = &value;
            for (int i = 0; i < kDeepNesting; ++i) level = &level->Member("nested");
            break;
        }
    }
    return value;
}

PayloadShapes::PayloadShapes(BindingProperty description) : description_(std::move(description)) {
    for (const BindingProperty& type : description_.GetMember("types").Elements()) {
        const std::string name(type.GetMember("name").AsString());
        types_[name] = &type;
        if (type.GetMember("kind").AsString() == "structure" && !HasTag(type, "$builtin") && !HasTag(type, "help")) {
            dataTypes_.push_back(name);
        }
    }
}

std::vector<std::string> PayloadShapes::TypesFor(std::string_view path) const {
    const std::vector<std::string> pathWords = Words(path);
    std::vector<std::string> best;
    std::size_t bestShared = 1;
    for (const std::string& name : dataTypes_) {
        const std::size_t shared = SharedWords(pathWords, Words(name));
        if (shared > bestShared) best.clear();
        if (shared >= bestShared) {
            bestShared = shared;
            best.push_back(name);
        }
    }
    return best.empty() ? dataTypes_ : best;
}

BindingProperty PayloadShapes::Value(std::string_view typeName, bool mutated, SeededRandom& random) const {
    const auto found = types_.find(std::string(typeName));
    if (found == types_.end()) return Loose(mutated, random);
    return Typed(static_cast<uint64_t>(found->second->GetMember("kind").AsString() == "enum" ? BindingType::Enum
                                                                                             : BindingType::Struct),
                 typeName, 0, mutated, random, 0);
}

BindingProperty PayloadShapes::Loose(bool mutated, SeededRandom& random) const {
    if (mutated && random.Chance(1, 3)) return SpoiltValue(random);
    BindingProperty value;
    switch (random.Below(5)) {
        case 0: value.SetSigned(static_cast<int64_t>(random.Below(2000))); break;
        case 1: value.SetString(kTexts[random.Below(std::size(kTexts))]); break;
        case 2: value.SetBool(random.Chance(1, 2)); break;
        case 3:
            value.MakeCollection();
            for (uint64_t i = random.Below(3); i > 0; --i) value.AppendElement() = Loose(mutated, random);
            break;
        default:
            value.MakeStructure();
            for (uint64_t i = random.Below(3); i > 0; --i) value.Member(kTexts[1 + random.Below(4)]) = Loose(mutated, random);
            break;
    }
    return value;
}

BindingProperty PayloadShapes::Structure(const BindingProperty& type, bool mutated, SeededRandom& random,
                                         int depth) const {
    BindingProperty value;
    value.MakeStructure();
    for (const BindingProperty& member : type.GetMember("members").Elements()) {
        if (member.GetMember("optional").AsBool() && random.Chance(1, 4)) continue;
        if (mutated && random.Chance(1, 8)) continue;  // a member left out
        value.Member(member.GetMember("name").AsString()) =
            Typed(member.GetMember("type").AsUnsigned(), member.GetMember("describedType").AsString(),
                  member.GetMember("elementType").AsUnsigned(), mutated, random, depth + 1);
    }
    if (mutated && random.Chance(1, 6)) value.Member("unexpectedMember") = Loose(false, random);
    return value;
}

BindingProperty PayloadShapes::Typed(uint64_t code, std::string_view described, uint64_t elementCode, bool mutated,
                                     SeededRandom& random, int depth) const {
    if (mutated && random.Chance(1, 6)) return SpoiltValue(random);
    BindingProperty value;
    switch (static_cast<BindingType>(code)) {
        case BindingType::Bool: value.SetBool(random.Chance(1, 2)); break;
        case BindingType::Int8:
        case BindingType::Int16:
        case BindingType::Int32:
        case BindingType::Int64: value.SetSigned(static_cast<int64_t>(random.Below(3000)) - 1000); break;
        case BindingType::UInt8:
        case BindingType::UInt16:
        case BindingType::UInt32:
        case BindingType::UInt64: value.SetUnsigned(random.Below(3000)); break;
        case BindingType::Float:
        case BindingType::Double: value.SetDouble(static_cast<double>(random.Below(10000)) / 8); break;
        case BindingType::String: value.SetString(kTexts[random.Below(std::size(kTexts))]); break;
        case BindingType::Object: return Loose(mutated, random);
        case BindingType::Vector: {
            value.MakeCollection();
            if (depth >= kMaxShapeDepth) break;
            for (uint64_t i = random.Below(4); i > 0; --i) {
                value.AppendElement() = Typed(elementCode, described, 0, mutated, random, depth + 1);
            }
            break;
        }
        case BindingType::Map: {
            value.MakeStructure();
            if (depth >= kMaxShapeDepth) break;
            for (uint64_t i = random.Below(3); i > 0; --i) {
                value.Member(kTexts[2 + random.Below(3)]) = Typed(elementCode, described, 0, mutated, random, depth + 1);
            }
            break;
        }
        case BindingType::Enum: {
            const auto found = types_.find(std::string(described));
            const BindingProperty* enumerators = found != types_.end() ? &found->second->GetMember("enumerators") : nullptr;
            if (enumerators == nullptr || enumerators->Count() == 0 || random.Chance(1, 5)) {
                value.SetSigned(static_cast<int64_t>(random.Below(8)));
                break;
            }
            const BindingProperty& chosen = enumerators->GetElement(random.Below(enumerators->Count()));
            return Text(chosen.GetMember("name").AsString());
        }
        case BindingType::Struct: {
            const auto found = types_.find(std::string(described));
            if (found == types_.end() || depth >= kMaxShapeDepth) {
                value.MakeStructure();
                break;
            }
            return Structure(*found->second, mutated, random, depth);
        }
        default: break;  // none, blob (no JSON form), callback: null
    }
    return value;
}

}  // namespace Vorn::HostSimulator

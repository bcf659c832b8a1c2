#include "host-simulator/api_table_reader.h"

#include <cstring>
#include <map>

#include "binding/binding_type.h"

namespace Vorn::HostSimulator {

namespace {

// No real table comes near these; a larger count or text is garbage, and
// walking it would only read further into memory that is not the table's.
constexpr uint32_t kMaxEntries = 1u << 20;
constexpr std::size_t kMaxText = 1u << 20;
constexpr uint32_t kMaxTypeCode = 19;
constexpr uint32_t kMaxMethodCode = 8;

class Reader {
public:
    explicit Reader(const std::function<void(const std::string&)>& step) : step_(step) {}

    void Step(const std::string& what) const {
        if (step_) step_(what);
    }

    void Problem(const std::string& text) { problems.push_back(text); }

    // A text of the table, copied; a null or unterminated one is a problem and
    // reads as "".
    std::string Text(const char* text, const std::string& what) {
        std::optional<std::string> copy = BoundedText(text);
        if (!copy) Problem(what + (text == nullptr ? " is null" : " is not NUL-terminated within 1 MiB"));
        return copy.value_or("");
    }

    // Whether an array of count records (or texts) may be indexed: a
    // plausible count, and an array when the count is not 0.
    bool Indexable(const void* first, uint32_t count, const std::string& what, const char* noun) {
        if (count == 0) return true;
        if (count > kMaxEntries) {
            Problem(what + ": a count of " + std::to_string(count) + " is not plausible");
            return false;
        }
        if (first == nullptr) {
            Problem(what + ": " + std::to_string(count) + " " + noun + " but no array");
            return false;
        }
        return true;
    }

    // Whether the records of an array may be read: a plausible count, an array
    // when the count is not 0, and each record's link leading to the next one
    // (the last one's to nothing), so a host walking the list sees the array.
    template <typename Entry>
    bool Array(const Entry* first, uint32_t count, const std::string& what) {
        if (count == 0) return true;
        if (!Indexable(first, count, what, "records")) return false;
        Step("reading the links of " + what);
        for (uint32_t i = 0; i < count; ++i) {
            const void* next = first[i].next;
            const void* expected = i + 1 < count ? static_cast<const void*>(first + i + 1) : nullptr;
            if (next == expected) continue;
            if (i + 1 < count) {
                Problem(what + ": record " + std::to_string(i) + " does not link to record " + std::to_string(i + 1));
            } else {
                Problem(what + ": the last of " + std::to_string(count) +
                        " records links to another (the list is longer than the count)");
            }
        }
        return true;
    }

    // Reads the records of an array into elements of list, each through
    // fill(record, element, index), when Array lets them be read.
    template <typename Entry, typename Fill>
    void List(const Entry* first, uint32_t count, const std::string& array, const std::string& item,
              BindingProperty& list, Fill fill) {
        list.MakeCollection();
        if (!Array(first, count, array)) return;
        for (uint32_t i = 0; i < count; ++i) {
            Step("reading " + item + " " + std::to_string(i));
            const Entry entry = first[i];
            fill(entry, list.AppendElement(), i);
        }
    }

    BindingProperty Texts(const char* const* texts, uint32_t count, const std::string& what) {
        BindingProperty list;
        list.MakeCollection();
        if (!Indexable(texts, count, what, "texts")) return list;
        for (uint32_t i = 0; i < count; ++i) list.AppendElement().SetString(Text(texts[i], what + " " + std::to_string(i)));
        return list;
    }

    // Type codes with the names of their shapes, as members, arguments and
    // results carry them.
    void Typed(BindingProperty& element, uint32_t type, uint32_t elementType, const char* describedType,
               const std::string& what) {
        for (const uint32_t code : {type, elementType}) {
            if (code > kMaxTypeCode) Problem(what + ": type code " + std::to_string(code) + " is outside 0-19");
        }
        element.Member("type").SetUnsigned(type);
        element.Member("typeName").SetString(ShapeName(static_cast<BindingType>(type)));
        element.Member("elementType").SetUnsigned(elementType);
        element.Member("elementTypeName").SetString(ShapeName(static_cast<BindingType>(elementType)));
        const std::string described = Text(describedType, what + "'s described type");
        element.Member("describedType").SetString(described);
        Refer(described, what);
    }

    // A type name the table must describe, checked once every type is read.
    void Refer(const std::string& name, const std::string& what) {
        if (!name.empty()) references.emplace_back(name, what);
    }

    void CheckReferences(const BindingProperty& types) {
        std::map<std::string_view, bool> described;
        for (const BindingProperty& type : types.Elements()) described[type.GetMember("name").AsString()] = true;
        for (const auto& [name, what] : references) {
            if (described.count(name) == 0) Problem(what + " names the type '" + name + "', which the table does not describe");
        }
    }

    // A name that must be there and be unique among those of its array.
    std::string UniqueName(const char* text, const std::string& what, std::map<std::string, uint32_t>& seen,
                           uint32_t index) {
        std::string name = Text(text, what + " name");
        if (text != nullptr && name.empty()) Problem(what + " has an empty name");
        if (name.empty()) return name;
        const auto [at, inserted] = seen.emplace(name, index);
        if (!inserted) {
            Problem(what + ": the name '" + name + "' is also that of record " + std::to_string(at->second));
        }
        return name;
    }

    std::vector<std::string> problems;
    std::vector<std::pair<std::string, std::string>> references;

private:
    const std::function<void(const std::string&)>& step_;
};

std::string Label(const std::string& kind, uint32_t index, const std::string& name) {
    return name.empty() ? kind + " " + std::to_string(index) : kind + " " + name;
}

void ReadTypes(Reader& reader, const ApiTable& table, BindingProperty& out) {
    std::map<std::string, uint32_t> names;
    reader.List(table.types, table.typeCount, "types", "type", out, [&](const ApiTypeEntry& type, BindingProperty& entry,
                                                                      uint32_t i) {
        const std::string name = reader.UniqueName(type.name, "type " + std::to_string(i), names, i);
        const std::string label = Label("type", i, name);
        entry.Member("name").SetString(name);
        entry.Member("nameSpace").SetString(reader.Text(type.nameSpace, label + " namespace"));
        entry.Member("size").SetUnsigned(type.size);
        entry.Member("description").SetString(reader.Text(type.description, label + " description"));
        entry.Member("tags") = reader.Texts(type.tags, type.tagCount, label + " tag");
        // A type has members or enumerators; one with neither has count 0.
        const bool hasMembers = type.members != nullptr;
        const bool hasEnumerators = type.enumerators != nullptr;
        if (hasMembers && hasEnumerators) reader.Problem(label + " has both members and enumerators");
        if (!hasMembers && !hasEnumerators && type.count != 0) {
            reader.Problem(label + ": a count of " + std::to_string(type.count) + " but neither members nor enumerators");
        }
        entry.Member("kind").SetString(hasMembers ? "structure" : hasEnumerators ? "enum" : "empty");
        reader.List(hasMembers ? type.members : nullptr, hasMembers ? type.count : 0, label + " members",
                    label + " member", entry.Member("members"),
                    [&](const ApiMemberEntry& member, BindingProperty& element, uint32_t j) {
                        const std::string what = label + " member " + std::to_string(j);
                        element.Member("name").SetString(reader.Text(member.name, what + " name"));
                        element.Member("description").SetString(reader.Text(member.description, what + " description"));
                        element.Member("offset").SetUnsigned(member.offset);
                        reader.Typed(element, member.type, member.elementType, member.describedType, what);
                        element.Member("optional").SetBool(member.optional != 0);
                    });
        const bool enumerated = hasEnumerators && !hasMembers;
        reader.List(enumerated ? type.enumerators : nullptr, enumerated ? type.count : 0, label + " enumerators",
                    label + " enumerator", entry.Member("enumerators"),
                    [&](const ApiEnumeratorEntry& enumerator, BindingProperty& element, uint32_t j) {
                        const std::string what = label + " enumerator " + std::to_string(j);
                        element.Member("name").SetString(reader.Text(enumerator.name, what + " name"));
                        element.Member("description").SetString(reader.Text(enumerator.description, what + " description"));
                        element.Member("value").SetSigned(enumerator.value);
                    });
    });
}

void ReadEvents(Reader& reader, const ApiTable& table, BindingProperty& out) {
    std::map<std::string, uint32_t> names;
    reader.List(table.events, table.eventCount, "events", "event", out, [&](const ApiEventEntry& event,
                                                                          BindingProperty& entry, uint32_t i) {
        const std::string name = reader.UniqueName(event.name, "event " + std::to_string(i), names, i);
        const std::string label = Label("event", i, name);
        entry.Member("name").SetString(name);
        entry.Member("nameSpace").SetString(reader.Text(event.nameSpace, label + " namespace"));
        const std::string payload = reader.Text(event.payloadType, label + " payload type");
        entry.Member("payloadType").SetString(payload);
        reader.Refer(payload, label + " payload");
        entry.Member("description").SetString(reader.Text(event.description, label + " description"));
        entry.Member("tags") = reader.Texts(event.tags, event.tagCount, label + " tag");
    });
}

void ReadFunction(Reader& reader, const ApiFunctionEntry& function, BindingProperty& entry, uint32_t i) {
    const std::string name = reader.Text(function.name, "function " + std::to_string(i) + " name");
    if (function.name != nullptr && name.empty()) reader.Problem("function " + std::to_string(i) + " has an empty name");
    const std::string label = Label("function", i, name);
    entry.Member("name").SetString(name);
    entry.Member("nameSpace").SetString(reader.Text(function.nameSpace, label + " namespace"));
    entry.Member("description").SetString(reader.Text(function.description, label + " description"));
    entry.Member("help").SetString(reader.Text(function.help, label + " help"));
    reader.Typed(entry.Member("result"), function.resultType, function.resultElementType, function.resultDescribedType,
                 label + " result");
    entry.Member("threadSafe").SetBool(function.threadSafe != 0);
    entry.Member("async").SetString(reader.Text(function.async, label + " async type"));
    entry.Member("tags") = reader.Texts(function.tags, function.tagCount, label + " tag");
    if (function.call == nullptr) reader.Problem(label + " has no call entry");

    // One location record per argument, in argument order.
    const ApiArgumentLocation* locations = function.locations;
    const uint32_t count = function.argumentCount;
    const bool located = reader.Array(locations, count, label + " argument locations");
    reader.List(function.arguments, count, label + " arguments", label + " argument", entry.Member("arguments"),
                [&](const ApiArgumentEntry& argument, BindingProperty& element, uint32_t j) {
                    const std::string what = label + " argument " + std::to_string(j);
                    element.Member("name").SetString(reader.Text(argument.name, what + " name"));
                    element.Member("description").SetString(reader.Text(argument.description, what + " description"));
                    reader.Typed(element, argument.type, argument.elementType, argument.describedType, what);
                    element.Member("optional").SetBool(argument.optional != 0);
                    element.Member("location").SetUnsigned(located ? locations[j].location : 0);
                });

    entry.Member("pathTemplate").SetString(reader.Text(function.pathTemplate, label + " path template"));
    if (function.method > kMaxMethodCode) {
        reader.Problem(label + ": method code " + std::to_string(function.method) + " is outside 0-8");
    }
    entry.Member("method").SetUnsigned(function.method);
    entry.Member("customMethod").SetString(reader.Text(function.customMethod, label + " custom method"));
    entry.Member("flags").SetUnsigned(function.flags);
    reader.List(function.textLists, function.textListCount, label + " text lists", label + " text list",
                entry.Member("textLists"), [&](const ApiTextList& list, BindingProperty& element, uint32_t j) {
                    element = reader.Texts(list.texts, list.count, label + " text list " + std::to_string(j));
                });
}

void ReadFunctions(Reader& reader, const ApiTable& table, BindingProperty& out) {
    reader.List(table.functions, table.functionCount, "functions", "function", out,
                [&](const ApiFunctionEntry& function, BindingProperty& entry, uint32_t i) {
                    ReadFunction(reader, function, entry, i);
                });
}

}  // namespace

std::optional<std::string> BoundedText(const char* text) {
    if (text == nullptr) return std::nullopt;
    const std::size_t length = strnlen(text, kMaxText);
    if (length == kMaxText) return std::nullopt;
    return std::string(text, length);
}

ApiTableReading ReadApiTable(const ApiTable& table, const std::function<void(const std::string&)>& step) {
    Reader reader(step);
    ApiTableReading reading;
    ReadFunctions(reader, table, reading.description.Member("functions"));
    ReadTypes(reader, table, reading.description.Member("types"));
    ReadEvents(reader, table, reading.description.Member("events"));
    reader.CheckReferences(reading.description.GetMember("types"));
    reading.problems = std::move(reader.problems);
    return reading;
}

std::string TypeText(const BindingProperty& typed) {
    auto shape = [](const BindingProperty& name, const BindingProperty& code) {
        std::string text(name.AsString());
        if (text.empty()) text = code.AsUnsigned() == 0 ? "none" : "unknown";
        return text + " (" + std::to_string(code.AsUnsigned()) + ")";
    };
    const uint64_t type = typed.GetMember("type").AsUnsigned();
    std::string text = shape(typed.GetMember("typeName"), typed.GetMember("type"));
    if (type == static_cast<uint64_t>(BindingType::Vector) || type == static_cast<uint64_t>(BindingType::Map)) {
        text += " of " + shape(typed.GetMember("elementTypeName"), typed.GetMember("elementType"));
    }
    const std::string_view described = typed.GetMember("describedType").AsString();
    if (!described.empty()) text.append(" ").append(described);
    return text;
}

}  // namespace Vorn::HostSimulator

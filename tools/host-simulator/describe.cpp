#include "host-simulator/describe.h"

#include <sstream>
#include <stdexcept>

#include "formats/json_reader.h"
#include "formats/json_writer.h"
#include "host-simulator/api_table_reader.h"
#include "host-simulator/export_table.h"
#include "host-simulator/isolated_host.h"

namespace Vorn::HostSimulator {

namespace {

// Loads the plug-in and writes "description <compact JSON>", or "error
// <reason>" when it does not load; "step" lines say how far it got.
void DescribeWork(const DescribeOptions& options, const std::string& entry, Channel& channel) {
    IsolatedHost host(options.inProcess, ProbeHostVersion());
    channel.Write("step loading through " + entry);
    std::string reason;
    if (!host->Load(options.plugin, &reason, entry)) {
        channel.Write("error " + reason);
        return;
    }
    const PluginHostRecord record = host->Record();
    BindingProperty description;
    description.Member("plugin").SetString(options.plugin);
    description.Member("export").SetString(entry);
    description.Member("shortName").SetString(BoundedText(record.shortName).value_or(""));
    description.Member("version").SetString(HostVersionText({record.major, record.minor, record.patch}));
    description.Member("problems").MakeCollection();
    if (record.apiTable == nullptr) {
        for (const char* array : {"functions", "types", "events"}) description.Member(array).MakeCollection();
        description.Member("problems").AppendElement().SetString("the API table is null");
    } else {
        ApiTableReading reading =
            ReadApiTable(*record.apiTable, [&](const std::string& step) { channel.Write("step " + step); });
        for (const char* array : {"functions", "types", "events"}) {
            description.Member(array) = std::move(*reading.description.FindMember(array));
        }
        // Taken after the other members are added, which may move it.
        BindingProperty& problems = description.Member("problems");
        for (const std::string& problem : reading.problems) problems.AppendElement().SetString(problem);
    }
    channel.Write("description " + SerializeJson(description, nullptr));
}

constexpr const char* kDescribeWork = "describe";

// Numbers come back from JSON as unsigned when they are not negative.
int64_t Number(const BindingProperty& value) {
    return value.Kind() == BindingKind::Signed ? value.AsSigned() : static_cast<int64_t>(value.AsUnsigned());
}

// " -- the description" when there is one.
std::string Described(const BindingProperty& entry) {
    const std::string_view text = entry.GetMember("description").AsString();
    return text.empty() ? "" : " -- " + std::string(text);
}

std::string Tags(const BindingProperty& entry) {
    std::string text;
    for (const BindingProperty& tag : entry.GetMember("tags").Elements()) {
        text += (text.empty() ? " [" : ", ") + std::string(tag.AsString());
    }
    return text.empty() ? text : text + "]";
}

std::string NameSpace(const BindingProperty& entry) {
    const std::string_view space = entry.GetMember("nameSpace").AsString();
    return space.empty() ? "" : " (" + std::string(space) + ")";
}

void TypeLines(const BindingProperty& type, std::ostringstream& out) {
    const std::string_view kind = type.GetMember("kind").AsString();
    out << (kind == "enum" ? "enum " : "type ") << type.GetMember("name").AsString() << NameSpace(type) << " (size "
        << type.GetMember("size").AsUnsigned() << ")" << Tags(type) << Described(type) << "\n";
    for (const BindingProperty& member : type.GetMember("members").Elements()) {
        out << "  member " << member.GetMember("name").AsString() << ": " << TypeText(member) << " offset "
            << member.GetMember("offset").AsUnsigned() << (member.GetMember("optional").AsBool() ? " optional" : "")
            << Described(member) << "\n";
    }
    for (const BindingProperty& enumerator : type.GetMember("enumerators").Elements()) {
        out << "  " << enumerator.GetMember("name").AsString() << " = " << Number(enumerator.GetMember("value"))
            << Described(enumerator) << "\n";
    }
    if (kind == "empty") out << "  (no members or enumerators)\n";
}

void FunctionLines(const BindingProperty& function, std::ostringstream& out) {
    out << "function " << function.GetMember("name").AsString() << NameSpace(function) << " -> "
        << TypeText(function.GetMember("result"));
    const std::string_view async = function.GetMember("async").AsString();
    if (!async.empty()) out << " async " << async;
    const std::string_view path = function.GetMember("pathTemplate").AsString();
    if (!path.empty()) out << " at " << path;
    out << " method " << function.GetMember("method").AsUnsigned();
    const std::string_view custom = function.GetMember("customMethod").AsString();
    if (!custom.empty()) out << " (" << custom << ")";
    if (function.GetMember("threadSafe").AsBool()) out << " thread-safe";
    out << Tags(function) << Described(function) << "\n";
    for (const BindingProperty& argument : function.GetMember("arguments").Elements()) {
        out << "  argument " << argument.GetMember("name").AsString() << ": " << TypeText(argument) << " location "
            << argument.GetMember("location").AsUnsigned() << (argument.GetMember("optional").AsBool() ? " optional" : "")
            << Described(argument) << "\n";
    }
}

}  // namespace

bool DescribePlugin(const DescribeOptions& options, BindingProperty& description, std::string& error) {
    std::vector<std::string> names;
    if (!ReadExportedSymbols(options.plugin, names, error)) {
        error = "cannot read the exports of " + options.plugin + ": " + error;
        return false;
    }
    const std::string entry = ChooseEntry(options.plugin, EntryExports(names));
    if (entry.empty()) {
        error = options.plugin + " has no export named load_*";
        return false;
    }
    const ChildOutcome outcome =
        RunIsolated(ChildWork{kDescribeWork, {options.plugin, entry}}, options.inProcess, options.timeLimitSeconds);
    std::istringstream lines(outcome.output);
    std::string line;
    std::string lastStep;
    while (std::getline(lines, line)) {
        if (line.rfind("step ", 0) == 0) {
            lastStep = line.substr(5);
        } else if (line.rfind("error ", 0) == 0) {
            error = "loading failed: " + line.substr(6);
            return false;
        } else if (line.rfind("description ", 0) == 0) {
            BindingResult parsed = DeserializeJson(std::string_view(line).substr(12));
            if (!parsed.ok) {
                error = "the description did not come back whole: " + std::string(parsed.Message());
                return false;
            }
            description = std::move(parsed.value);
            return true;
        }
    }
    error = "the plug-in " + outcome.Describe(options.timeLimitSeconds) + (lastStep.empty() ? "" : " while " + lastStep);
    return false;
}

bool PerformDescribeWork(const ChildWork& work, bool inProcess, Channel& channel) {
    if (work.name != kDescribeWork) return false;
    if (work.arguments.size() != 2) throw std::invalid_argument("describe takes the library and its entry");
    DescribeOptions options;
    options.plugin = work.arguments[0];
    options.inProcess = inProcess;
    DescribeWork(options, work.arguments[1], channel);
    return true;
}

std::string DescriptionText(const BindingProperty& description) {
    std::ostringstream out;
    const BindingProperty& functions = description.GetMember("functions");
    const BindingProperty& types = description.GetMember("types");
    const BindingProperty& events = description.GetMember("events");
    out << "plugin " << description.GetMember("shortName").AsString() << " "
        << description.GetMember("version").AsString() << " (" << description.GetMember("plugin").AsString()
        << ", export " << description.GetMember("export").AsString() << ")\n";
    out << "API table: " << functions.Count() << " functions, " << types.Count() << " types, " << events.Count()
        << " events\n";
    if (functions.Count() != 0) out << "\n";
    for (const BindingProperty& function : functions.Elements()) FunctionLines(function, out);
    if (types.Count() != 0) out << "\n";
    for (const BindingProperty& type : types.Elements()) TypeLines(type, out);
    if (events.Count() != 0) out << "\n";
    for (const BindingProperty& event : events.Elements()) {
        out << "event " << event.GetMember("name").AsString() << NameSpace(event) << " payload "
            << event.GetMember("payloadType").AsString() << Tags(event) << Described(event) << "\n";
    }
    const BindingProperty& problems = description.GetMember("problems");
    if (problems.Count() != 0) {
        out << "\nthe table is not well formed:\n";
        for (const BindingProperty& problem : problems.Elements()) out << "  " << problem.AsString() << "\n";
    }
    return out.str();
}

}  // namespace Vorn::HostSimulator

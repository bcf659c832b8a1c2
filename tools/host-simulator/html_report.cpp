#include "host-simulator/html_report.h"

#include <algorithm>
#include <cstdio>

#include "formats/json_writer.h"
#include "host-simulator/value_match.h"
#include "host/host_trace.h"

namespace Vorn::HostSimulator {

namespace {

using Host::TraceLane;

constexpr const char* kStyle = R"(
body{font:14px/1.4 system-ui,sans-serif;margin:1.5em;color:#1d232a;background:#fafbfc}
h1{font-size:1.4em}h2{font-size:1.15em;margin:0}
.summary span{margin-right:1em}
section.scenario{border:1px solid #d0d7de;border-left:6px solid #2da44e;border-radius:6px;background:#fff;padding:.8em 1em;margin:1.2em 0}
section.scenario.failed,section.scenario.error{border-left-color:#cf222e}
.verdict{display:inline-block;font-weight:700;padding:0 .5em;border-radius:4px;color:#fff;background:#2da44e;margin-right:.5em}
.failed>header .verdict,.error>header .verdict{background:#cf222e}
.meta{color:#57606a;font-size:.9em}
.messages{color:#cf222e;white-space:pre-wrap;font-family:ui-monospace,monospace;font-size:.9em}
.timeline{position:relative;margin:.8em 0 .4em 7em;border-left:1px solid #d0d7de}
.lane{position:relative;height:18px;border-bottom:1px dotted #eaeef2}
.lane>.name{position:absolute;left:-7em;width:6.5em;text-align:right;color:#57606a;font-size:.8em}
.lane>a{position:absolute;top:4px;width:8px;height:10px;margin-left:-4px;border-radius:2px;opacity:.8}
.axis{display:flex;justify-content:space-between;color:#57606a;font-size:.8em}
table.steps{border-collapse:collapse;width:100%;font-size:.9em;table-layout:fixed}
table.steps th,table.steps td{border-bottom:1px solid #eaeef2;padding:2px 6px;text-align:left;vertical-align:top;overflow-wrap:anywhere}
table.steps th.time{width:6em}table.steps th.lane-name{width:7em}
tr.step td{background:#f6f8fa;font-weight:600}
tr.step.held td{background:#dafbe1}tr.step.failed td,tr.step.error td{background:#ffebe9}
.badge{font-size:.8em;font-weight:700;margin-left:.6em}
tr.held .badge{color:#1a7f37}tr.failed .badge,tr.error .badge{color:#cf222e}
.life{--lane:#8c959f}.event{--lane:#0969da}.request{--lane:#8250df}.task{--lane:#bf8700}.log{--lane:#57606a}.call{--lane:#1a7f37}
.log-WARN{--lane:#d4a72c}.log-ERROR{--lane:#cf222e}
.lane>a{background:var(--lane)}
td.lane-name span{display:inline-block;min-width:5.5em;color:#fff;background:var(--lane);border-radius:3px;padding:0 .4em;font-size:.8em}
tr.trace.log-ERROR td.what{color:#cf222e;font-weight:600}tr.trace.log-WARN td.what{color:#9a6700}
details summary{cursor:pointer}
pre{margin:.2em 0;white-space:pre-wrap;font-family:ui-monospace,monospace;font-size:.85em}
.compare{display:grid;grid-template-columns:1fr 1fr;gap:1em;margin:.4em 0}
.compare h4{margin:0;font-size:.85em;color:#57606a}
mark{background:#ffd8b5;border-radius:2px}
)";

struct LaneInfo {
    TraceLane lane;
    const char* name;
    const char* css;
};
constexpr LaneInfo kLanes[] = {
    {TraceLane::Event, "events", "event"}, {TraceLane::Request, "requests", "request"},
    {TraceLane::Task, "tasks", "task"},    {TraceLane::Log, "log", "log"},
    {TraceLane::Call, "calls", "call"},    {TraceLane::Life, "plug-in", "life"},
};

std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

const LaneInfo& LaneOf(TraceLane lane) {
    for (const LaneInfo& info : kLanes) {
        if (info.lane == lane) return info;
    }
    return kLanes[5];
}

// A trace line without its time stamp ("[   12.500s] ").
std::string_view Untimed(std::string_view line) {
    const std::size_t close = line.find("] ");
    return line.size() > 0 && line[0] == '[' && close != std::string_view::npos ? line.substr(close + 2) : line;
}

// The css class of a trace line: its lane's, and for log lines the level's.
std::string LineClass(TraceLane lane, std::string_view text) {
    std::string css = LaneOf(lane).css;
    // "log WARN text": the level is the second word.
    if (lane == TraceLane::Log) css += " log-" + std::string(text.substr(4, text.find(' ', 4) - 4));
    return css;
}

// The first `count` words of a text.
std::string_view Words(std::string_view text, int count) {
    std::size_t end = 0;
    for (int i = 0; i < count; ++i) {
        end = text.find(' ', i == 0 ? 0 : end + 1);
        if (end == std::string_view::npos) return text;
    }
    return text.substr(0, end);
}

// Requests and calls fold their parameters and answer away: "GET /path ->
// 200" or "call Echo GET /path -> result" to open.
std::string LineHtml(TraceLane lane, std::string_view text) {
    if (lane != TraceLane::Request && lane != TraceLane::Call) return Escape(text);
    const std::size_t arrow = text.find(" -> ");
    if (arrow == std::string_view::npos) return Escape(text);
    const std::string_view head = Words(text.substr(0, arrow), lane == TraceLane::Call ? 4 : 2);
    const std::string_view outcome = Words(text.substr(arrow + 4), 1);
    const bool status = !outcome.empty() && outcome.find_first_not_of("0123456789") == std::string_view::npos;
    return "<details><summary>" + Escape(head) + " &rarr; " + (status ? Escape(outcome) : "result") +
           "</summary><pre>" + Escape(text) + "</pre></details>";
}

std::string Seconds(uint64_t nanoseconds) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.3f s", static_cast<double>(nanoseconds) * 1e-9);
    return text;
}

// Whether a member of the expected value (`expected`) or of the actual one
// matches its counterpart, by the scenario's own rules ("$any", "$absent",
// an integer and its float).
bool Matches(const BindingProperty& value, const BindingProperty* other, bool expected) {
    std::string why;
    if (expected) return ValueMatches(value, other, why);
    return other != nullptr && ValueMatches(*other, &value, why);
}

bool BothContainers(const BindingProperty& value, const BindingProperty* other) {
    return (value.Kind() == BindingKind::Structure || value.Kind() == BindingKind::Collection) && other != nullptr &&
           other->Kind() == value.Kind();
}

// Marks what differs from `other` when there is one; null: marks nothing.
// An expectation names only the members it checks, so a member of the
// actual value that the expected one leaves out is no difference.
void AppendMarked(std::string& out, const BindingProperty& value, const BindingProperty* other, bool expected,
                  int depth) {
    const std::string indent(static_cast<std::size_t>(depth + 1) * 2, ' ');
    const std::string closing(static_cast<std::size_t>(depth) * 2, ' ');
    const auto item = [&](const std::string& label, const BindingProperty& member, const BindingProperty* counterpart,
                          bool last) {
        const bool unchecked = !expected && counterpart == nullptr && value.Kind() == BindingKind::Structure;
        const bool differs = other != nullptr && !unchecked && !Matches(member, counterpart, expected);
        const bool nested = BothContainers(member, counterpart);
        out += indent;
        if (differs && !nested) out += "<mark>";
        out += label;
        AppendMarked(out, member, differs && nested ? counterpart : nullptr, expected, depth + 1);
        if (differs && !nested) out += "</mark>";
        out += last ? "\n" : ",\n";
    };
    if (value.Kind() == BindingKind::Structure && value.StructureMembers()->size() != 0) {
        out += "{\n";
        std::size_t left = value.StructureMembers()->size();
        for (const auto& [name, member] : *value.StructureMembers()) {
            const BindingProperty* counterpart = other != nullptr ? other->FindMember(name->View()) : nullptr;
            BindingProperty key;
            key.SetString(name->View());
            item(Escape(Host::JsonText(key)) + ": ", member, counterpart, --left == 0);
        }
        out += closing + "}";
        return;
    }
    if (value.Kind() == BindingKind::Collection && !value.Elements().empty()) {
        out += "[\n";
        const auto elements = value.Elements();
        for (std::size_t i = 0; i < elements.size(); ++i) {
            const BindingProperty* counterpart =
                other != nullptr && i < other->Elements().size() ? &other->Elements()[i] : nullptr;
            item("", elements[i], counterpart, i + 1 == elements.size());
        }
        out += closing + "]";
        return;
    }
    out += Escape(Host::JsonText(value));
}

void AppendTimeline(std::string& out, const ScenarioResult& result, std::size_t index) {
    uint64_t end = 0;
    for (const Host::TraceMark& mark : result.hostMarks) end = std::max(end, mark.time);
    out += "<div class=\"timeline\" aria-label=\"timeline\">\n";
    for (const LaneInfo& lane : kLanes) {
        out += "<div class=\"lane\"><span class=\"name\">" + std::string(lane.name) + "</span>";
        for (std::size_t i = 0; i < result.hostMarks.size() && i < result.hostTrace.size(); ++i) {
            const Host::TraceMark& mark = result.hostMarks[i];
            if (mark.lane != lane.lane) continue;
            const double at = end == 0 ? 0.0 : 100.0 * static_cast<double>(mark.time) / static_cast<double>(end);
            char left[32];
            std::snprintf(left, sizeof(left), "%.2f", at);
            const std::string_view text = Untimed(result.hostTrace[i]);
            out += "<a class=\"" + LineClass(mark.lane, text) + "\" style=\"left:" + left + "%\" href=\"#s" +
                   std::to_string(index) + "-t" + std::to_string(i) + "\" title=\"" + Escape(Seconds(mark.time)) +
                   ": " + Escape(text) + "\"></a>";
        }
        out += "</div>\n";
    }
    out += "<div class=\"axis\"><span>0 s</span><span>virtual clock</span><span>" + Seconds(end) + "</span></div>\n</div>\n";
}

const char* VerdictClass(StepReport::Verdict verdict) {
    switch (verdict) {
        case StepReport::Verdict::Held: return "held";
        case StepReport::Verdict::Failed: return "failed";
        case StepReport::Verdict::Error: return "error";
        case StepReport::Verdict::Done: break;
    }
    return "done";
}

void AppendTraceRows(std::string& out, const ScenarioResult& result, std::size_t index, std::size_t begin,
                     std::size_t end) {
    for (std::size_t i = begin; i < end && i < result.hostTrace.size() && i < result.hostMarks.size(); ++i) {
        const Host::TraceMark& mark = result.hostMarks[i];
        const std::string_view text = Untimed(result.hostTrace[i]);
        const std::string css = LineClass(mark.lane, text);
        out += "<tr class=\"trace " + css + "\" id=\"s" + std::to_string(index) + "-t" + std::to_string(i) + "\"><td>" +
               Seconds(mark.time) + "</td><td class=\"lane-name\"><span>" + LaneOf(mark.lane).name +
               "</span></td><td class=\"what\">" + LineHtml(mark.lane, text) + "</td></tr>\n";
    }
}

void AppendStep(std::string& out, const StepReport& step) {
    const char* verdict = VerdictClass(step.verdict);
    out += "<tr class=\"step " + std::string(verdict) + "\" data-step=\"" + std::to_string(step.number) +
           "\"><td>step " + std::to_string(step.number) + "</td><td colspan=\"2\">" + Escape(step.text);
    if (step.verdict != StepReport::Verdict::Done) {
        out += "<span class=\"badge\">" +
               std::string(step.verdict == StepReport::Verdict::Held ? "held" : step.verdict == StepReport::Verdict::Failed ? "FAILED" : "ERROR") +
               (step.detail.empty() || step.verdict != StepReport::Verdict::Held ? "" : " (" + Escape(step.detail) + ")") +
               "</span>";
    }
    if (step.verdict == StepReport::Verdict::Failed || step.verdict == StepReport::Verdict::Error) {
        out += "<pre class=\"why\">" + Escape(step.detail) + "</pre>";
        if (!step.expected.IsEmpty()) {
            for (const BindingProperty& actual : step.actual) {
                out += "<div class=\"compare\"><div><h4>expected</h4><pre class=\"expected\">" +
                       MarkedJson(step.expected, &actual, true) + "</pre></div><div><h4>actual</h4><pre class=\"actual\">" +
                       MarkedJson(actual, &step.expected, false) + "</pre></div></div>";
            }
            if (step.actual.empty()) {
                out += "<div class=\"compare\"><div><h4>expected</h4><pre class=\"expected\">" +
                       MarkedJson(step.expected, nullptr, true) + "</pre></div><div><h4>actual</h4><pre class=\"actual\">(nothing)</pre></div></div>";
            }
        }
    }
    out += "</td></tr>\n";
}

void AppendScenario(std::string& out, const ScenarioResult& result, std::size_t index) {
    const char* outcome = result.outcome == Outcome::Passed ? "passed" : result.outcome == Outcome::Failed ? "failed" : "error";
    const char* verdict = result.outcome == Outcome::Passed ? "PASS" : result.outcome == Outcome::Failed ? "FAIL" : "ERROR";
    char seconds[32];
    std::snprintf(seconds, sizeof(seconds), "%.3f s", result.seconds);
    out += "<section class=\"scenario " + std::string(outcome) + "\" id=\"s" + std::to_string(index) +
           "\" data-verdict=\"" + verdict + "\">\n<header><h2><span class=\"verdict\">" + verdict + "</span>" +
           Escape(result.name) + "</h2><div class=\"meta\">" + Escape(result.file) +
           (result.plugin.empty() ? "" : " &middot; " + Escape(result.plugin)) + " &middot; " +
           std::to_string(result.steps.size()) + " steps &middot; " + seconds + "</div></header>\n";
    if (!result.messages.empty()) {
        out += "<div class=\"messages\">";
        for (const std::string& message : result.messages) out += Escape(message) + "\n";
        out += "</div>\n";
    }
    AppendTimeline(out, result, index);
    out += "<table class=\"steps\"><thead><tr><th class=\"time\">time</th><th class=\"lane-name\">lane</th>"
           "<th>what happened</th></tr></thead><tbody>\n";
    std::size_t shown = 0;
    for (const StepReport& step : result.steps) {
        // Lines between steps (none so far) go before the next one.
        AppendTraceRows(out, result, index, shown, step.traceBegin);
        AppendStep(out, step);
        AppendTraceRows(out, result, index, step.traceBegin, step.traceEnd);
        shown = std::max(shown, step.traceEnd);
    }
    if (shown < result.hostTrace.size()) {
        out += "<tr class=\"step done\"><td></td><td colspan=\"2\">after the last step</td></tr>\n";
        AppendTraceRows(out, result, index, shown, result.hostTrace.size());
    }
    out += "</tbody></table>\n</section>\n";
}

}  // namespace

std::string MarkedJson(const BindingProperty& value, const BindingProperty* other, bool expected) {
    std::string out;
    const bool matches = other == nullptr || Matches(value, other, expected);
    if (!matches && !BothContainers(value, other)) {
        out += "<mark>";
        AppendMarked(out, value, nullptr, expected, 0);
        return out + "</mark>";
    }
    AppendMarked(out, value, matches ? nullptr : other, expected, 0);
    return out;
}

std::string HtmlReport(const std::vector<ScenarioResult>& results) {
    std::size_t passed = 0;
    for (const ScenarioResult& result : results) passed += result.outcome == Outcome::Passed;
    std::string out =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>vorn-host run</title>\n"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'\">\n"
        "<style>" +
        std::string(kStyle) + "</style></head><body>\n<h1>vorn-host run</h1>\n<p class=\"summary\"><span>" +
        std::to_string(results.size()) + " scenarios</span><span>" + std::to_string(passed) +
        " passed</span><span>" + std::to_string(results.size() - passed) + " not passed</span></p>\n";
    for (std::size_t i = 0; i < results.size(); ++i) AppendScenario(out, results[i], i + 1);
    return out + "</body></html>\n";
}

}  // namespace Vorn::HostSimulator

#include "host-simulator/saved_trace.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace Vorn::HostSimulator {

namespace {

constexpr int64_t kDayMilliseconds = 86400000;
// The comparison table's cells at most (64 MiB of them).
constexpr uint64_t kMostCells = uint64_t{16} << 20;

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty() || from == to) return;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string WithoutRealTimes(const std::string& text, int64_t start, int64_t end) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (!IsDigit(text[i])) {
            out += text[i++];
            continue;
        }
        std::size_t j = i;
        while (j < text.size() && IsDigit(text[j])) ++j;
        const std::string digits = text.substr(i, j - i);
        i = j;
        // Past 18 digits it may not fit, and cannot be a time of this age.
        if (digits.size() > 18) {
            out += digits;
            continue;
        }
        const int64_t value = std::stoll(digits);
        if (value >= start - kDayMilliseconds && value <= end + kDayMilliseconds) {
            out += "<real time ms>";
        } else if (value >= (start - kDayMilliseconds) / 1000 && value <= (end + kDayMilliseconds) / 1000) {
            out += "<real time s>";
        } else {
            out += digits;
        }
    }
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return lines;
}

// "3,2"; a single line as "3"; an empty range names the line before it.
std::string Range(std::size_t start, std::size_t count) {
    if (count == 1) return std::to_string(start + 1);
    return std::to_string(count == 0 ? start : start + 1) + "," + std::to_string(count);
}

struct Edit {
    char kind;  // ' ', '-', '+'
    std::size_t before;  // index in before (the next line there, for '+')
    std::size_t after;   // index in after (the next line there, for '-')
};

// The shortest edit by longest common subsequence, with the lines both
// texts start and end with taken out first.
std::vector<Edit> Edits(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    std::size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
    std::size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) ++tail;
    const std::size_t n = a.size() - head - tail;
    const std::size_t m = b.size() - head - tail;
    std::vector<Edit> edits;
    for (std::size_t i = 0; i < head; ++i) edits.push_back({' ', i, i});
    if (static_cast<uint64_t>(n) * m > kMostCells) {
        // Too large to compare line by line: the middles replace each other.
        for (std::size_t i = 0; i < n; ++i) edits.push_back({'-', head + i, head});
        for (std::size_t j = 0; j < m; ++j) edits.push_back({'+', head + n, head + j});
        for (std::size_t k = 0; k < tail; ++k) edits.push_back({' ', head + n + k, head + m + k});
        return edits;
    }
    // lengths[i][j]: the common subsequence of the middles' suffixes from i, j.
    std::vector<uint32_t> lengths((n + 1) * (m + 1), 0);
    const auto at = [&](std::size_t i, std::size_t j) -> uint32_t& { return lengths[i * (m + 1) + j]; };
    for (std::size_t i = n; i-- > 0;) {
        for (std::size_t j = m; j-- > 0;) {
            at(i, j) = a[head + i] == b[head + j] ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));
        }
    }
    std::size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[head + i] == b[head + j]) {
            edits.push_back({' ', head + i++, head + j++});
        } else if (i < n && (j == m || at(i + 1, j) >= at(i, j + 1))) {
            // Lines that go come before lines that come, as diff writes them.
            edits.push_back({'-', head + i++, head + j});
        } else {
            edits.push_back({'+', head + i, head + j++});
        }
    }
    for (std::size_t k = 0; k < tail; ++k) edits.push_back({' ', head + n + k, head + m + k});
    return edits;
}

}  // namespace

std::string NormalisedTrace(const ScenarioResult& result) {
    std::string text = result.transcript;
    ReplaceAll(text, result.plugin, std::filesystem::path(result.plugin).filename().string());
    ReplaceAll(text, result.file, std::filesystem::path(result.file).filename().string());
    return WithoutRealTimes(text, result.realStart, result.realEnd);
}

std::string TraceFileName(const std::string& scenarioFile) {
    return std::filesystem::path(scenarioFile).stem().string() + ".trace";
}

std::string UnifiedDiff(const std::string& beforeName, const std::string& before, const std::string& afterName,
                        const std::string& after, std::size_t context) {
    if (before == after) return {};
    const std::vector<std::string> a = Lines(before);
    const std::vector<std::string> b = Lines(after);
    const std::vector<Edit> edits = Edits(a, b);
    std::string out = "--- " + beforeName + "\n+++ " + afterName + "\n";
    std::size_t k = 0;
    while (k < edits.size()) {
        while (k < edits.size() && edits[k].kind == ' ') ++k;
        if (k == edits.size()) break;
        // A hunk: from `context` lines before this change to `context` after
        // the last change that lies within 2 * context of the one before.
        const std::size_t first = k >= context ? k - context : 0;
        std::size_t last = k;
        for (std::size_t scan = k; scan < edits.size(); ++scan) {
            if (edits[scan].kind != ' ') last = scan;
            else if (scan - last > 2 * context) break;
        }
        const std::size_t end = std::min(edits.size(), last + context + 1);
        std::size_t beforeCount = 0, afterCount = 0;
        for (std::size_t e = first; e < end; ++e) {
            beforeCount += edits[e].kind != '+';
            afterCount += edits[e].kind != '-';
        }
        out += "@@ -" + Range(edits[first].before, beforeCount) + " +" + Range(edits[first].after, afterCount) + " @@\n";
        for (std::size_t e = first; e < end; ++e) {
            const Edit& edit = edits[e];
            out += edit.kind;
            out += edit.kind == '+' ? b[edit.after] : a[edit.before];
            out += "\n";
        }
        k = end;
    }
    return out;
}

}  // namespace Vorn::HostSimulator

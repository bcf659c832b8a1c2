#include "host-simulator/junit_report.h"

#include <chrono>
#include <cstdio>

namespace Vorn::HostSimulator {

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";

// The length of the well-formed UTF-8 sequence at text[i], 0 when there is
// none (overlong forms, surrogates and code points past U+10FFFF included).
std::size_t SequenceLength(const std::string& text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    else return 0;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
    if (i + length > text.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    }
    return length;
}

// Escaped for an attribute or element; newlines kept in elements only.
std::string Escaped(const std::string& text, bool attribute) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = SequenceLength(text, i);
            // U+FFFE and U+FFFF are not XML characters either.
            const bool nonCharacter = length == 3 && c == 0xEF && text[i + 1] == '\xBF' &&
                                      (text[i + 2] == '\xBE' || text[i + 2] == '\xBF');
            if (length == 0 || nonCharacter) {
                out += kReplacement;
                i += length == 0 ? 1 : length;
            } else {
                out.append(text, i, length);
                i += length;
            }
            continue;
        }
        ++i;
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += attribute ? "&quot;" : "\""; break;
            case '\n': out += attribute ? "&#10;" : "\n"; break;
            case '\t': out += attribute ? "&#9;" : "\t"; break;
            case '\r': out += "&#13;"; break;
            default:
                if (c < 0x20 || c == 0x7F) out += kReplacement;
                else out += static_cast<char>(c);
        }
    }
    return out;
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.3f", seconds < 0 ? 0.0 : seconds);
    return text;
}

std::string Attribute(const char* name, const std::string& value) {
    return std::string(" ") + name + "=\"" + Escaped(value, true) + "\"";
}

std::size_t Count(const JunitSuite& suite, JunitCase::Status status) {
    std::size_t count = 0;
    for (const JunitCase& c : suite.cases) count += c.status == status;
    return count;
}

}  // namespace

std::string IsoTimestamp(long long secondsSinceEpoch) {
    // Days to a civil date (proleptic Gregorian), valid for any day count.
    long long days = secondsSinceEpoch / 86400;
    long long rest = secondsSinceEpoch % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long shifted = (5 * dayOfYear + 2) / 153;
    const long long day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    const long long month = shifted < 10 ? shifted + 3 : shifted - 9;
    const long long year = yearOfEra + era * 400 + (month <= 2);
    char text[64];
    std::snprintf(text, sizeof(text), "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld", year, month, day, rest / 3600,
                  rest / 60 % 60, rest % 60);
    return text;
}

std::string JunitXml(const std::string& name, const std::vector<JunitSuite>& suites) {
    const long long now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    const std::string timestamp = IsoTimestamp(now);
    std::size_t tests = 0, failures = 0, errors = 0;
    double seconds = 0;
    for (const JunitSuite& suite : suites) {
        tests += suite.cases.size();
        failures += Count(suite, JunitCase::Status::Failed);
        errors += Count(suite, JunitCase::Status::Error);
        for (const JunitCase& c : suite.cases) seconds += c.seconds;
    }
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" + Attribute("name", name) +
                      Attribute("tests", std::to_string(tests)) + Attribute("failures", std::to_string(failures)) +
                      Attribute("errors", std::to_string(errors)) + Attribute("time", Seconds(seconds)) + ">\n";
    for (std::size_t i = 0; i < suites.size(); ++i) {
        const JunitSuite& suite = suites[i];
        double suiteSeconds = 0;
        for (const JunitCase& c : suite.cases) suiteSeconds += c.seconds;
        xml += "  <testsuite" + Attribute("name", suite.name) + Attribute("tests", std::to_string(suite.cases.size())) +
               Attribute("failures", std::to_string(Count(suite, JunitCase::Status::Failed))) +
               Attribute("errors", std::to_string(Count(suite, JunitCase::Status::Error))) +
               Attribute("skipped", "0") + Attribute("time", Seconds(suiteSeconds)) +
               Attribute("timestamp", timestamp) + Attribute("hostname", "localhost") +
               Attribute("id", std::to_string(i)) + Attribute("package", name) + ">\n    <properties/>\n";
        for (const JunitCase& c : suite.cases) {
            xml += "    <testcase" + Attribute("name", c.name) + Attribute("classname", c.classname) +
                   Attribute("time", Seconds(c.seconds));
            if (c.status == JunitCase::Status::Passed) {
                xml += "/>\n";
                continue;
            }
            const char* element = c.status == JunitCase::Status::Failed ? "failure" : "error";
            xml += ">\n      <" + std::string(element) + Attribute("message", c.message) +
                   Attribute("type", c.status == JunitCase::Status::Failed ? "failure" : "error") + ">" +
                   Escaped(c.details, false) + "</" + element + ">\n    </testcase>\n";
        }
        xml += "    <system-out>" + Escaped(suite.out, false) + "</system-out>\n    <system-err></system-err>\n  </testsuite>\n";
    }
    return xml + "</testsuites>\n";
}

}  // namespace Vorn::HostSimulator

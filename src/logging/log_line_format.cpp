#include "logging/log_line_format.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "logging/log_groups.h"
#include "platform/clock.h"
#include "platform/process_info.h"

namespace Vorn {

const char* LogLevelText(int32_t level) {
    static constexpr const char* kTexts[] = {"  OKAY", "  WARN", " ERROR", "ALWAYS"};
    static_assert(std::size(kTexts) == kLogAlways + 1, "one text per level");
    return level >= 0 && level <= kLogAlways ? kTexts[level] : "     ?";
}

namespace {

// Appends up to a limit that keeps room for the final newline and NUL.
class LineWriter {
public:
    LineWriter(char* out, std::size_t capacity) : out_(out), limit_(capacity >= 2 ? capacity - 2 : 0) {}

    void Put(const char* text, std::size_t length) {
        std::size_t room = limit_ - length_;
        if (length > room) length = room;
        std::memcpy(out_ + length_, text, length);
        length_ += length;
    }
    void Put(const char* text) { Put(text, std::strlen(text)); }
    void PutFormatted(const char* scratch, int written) {
        if (written > 0) Put(scratch, std::strlen(scratch));
    }

    std::size_t Finish(std::size_t capacity) {
        if (capacity == 0) return 0;
        if (capacity == 1) {
            out_[0] = '\0';
            return 0;
        }
        if (length_ == 0 || out_[length_ - 1] != '\n') out_[length_++] = '\n';
        out_[length_] = '\0';
        return length_;
    }

private:
    char* out_;
    std::size_t limit_;
    std::size_t length_ = 0;
};

}  // namespace

int FormatElapsedSeconds(uint64_t nanoseconds, char* out, std::size_t capacity) {
    // Integer arithmetic on the nanoseconds: exact at any age, where a float
    // loses the milliseconds after about 4.5 hours and the seconds after months.
    const uint64_t seconds = nanoseconds / 1000000000u;
    const auto millis = static_cast<unsigned>(nanoseconds % 1000000000u / 1000000u);
    return std::snprintf(out, capacity, "%06" PRIu64 ".%03u", seconds, millis);
}

std::size_t RenderLogLine(const char* format, const LogMessage& message, const char* executableName, char* out,
                          std::size_t capacity) {
    LineWriter line(out, capacity);
    char scratch[1024];
    for (const char* p = format != nullptr ? format : ""; *p != '\0'; ++p) {
        if (*p != '#') {
            line.Put(p, 1);
            continue;
        }
        char code = *++p;
        if (code == '\0') break;
        switch (code) {
            case 'D': {
                const Platform::LocalTime& t = message.time;
                int n = std::snprintf(scratch, sizeof(scratch), "%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.year,
                                      t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
                line.PutFormatted(scratch, n);
                break;
            }
            case 'E': line.Put(executableName != nullptr ? executableName : "<unknown>"); break;
            case 'G':
                LogGroupMaskText(message.groups, scratch, sizeof(scratch));
                line.Put(scratch);
                break;
            case 'H': {
                int n = FormatElapsedSeconds(Platform::NanosecondsSinceFirstUse(), scratch, sizeof(scratch));
                line.PutFormatted(scratch, n);
                break;
            }
            case 'L': line.Put(LogLevelText(message.level)); break;
            case 'M': line.Put(message.text, strnlen(message.text, sizeof(message.text))); break;
            case 'T': {
                int n = std::snprintf(scratch, sizeof(scratch), "%p", Platform::CurrentThreadId());
                line.PutFormatted(scratch, n);
                break;
            }
            default: line.Put(&code, 1); break;
        }
    }
    return line.Finish(capacity);
}

}  // namespace Vorn

#include "support/message_format.h"

#include <cstring>

namespace Vorn {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Appends into a fixed buffer, keeping room for the terminator.
class BoundedWriter {
public:
    BoundedWriter(char* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity) {
        if (capacity_ != 0) buffer_[0] = '\0';
    }

    bool Full() const { return capacity_ == 0 || length_ + 1 >= capacity_; }

    void Put(char c) {
        if (Full()) return;
        buffer_[length_++] = c;
        buffer_[length_] = '\0';
    }

    // Lets an argument print straight into the free space.
    template <typename PrintFn>
    void Emit(PrintFn print) {
        if (Full()) return;
        std::size_t room = capacity_ - length_;
        std::size_t wanted = print(buffer_ + length_, room);
        length_ += wanted < room ? wanted : room - 1;
        buffer_[length_] = '\0';
        if (wanted >= room) overflowed_ = true;
    }

    bool Overflowed() const { return overflowed_; }
    std::size_t Length() const { return length_; }

private:
    char* buffer_;
    std::size_t capacity_;
    std::size_t length_ = 0;
    bool overflowed_ = false;
};

// Parses a printf specification starting right after "%" (or "N$").
// Returns the position after the conversion, or null when malformed.
class SpecParser {
public:
    SpecParser(std::span<const FormatArg> args, std::size_t& next) : args_(args), next_(next) {}

    const char* Parse(const char* p, const char* percent, PrintfSpec& spec) {
        std::size_t flagCount = 0;
        while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) {
            if (flagCount + 1 < sizeof(spec.flags) && std::strchr(spec.flags, *p) == nullptr) {
                spec.flags[flagCount++] = *p;
            }
            ++p;
        }
        if (!ReadNumber(p, spec.width, true, spec)) return nullptr;
        if (*p == '.') {
            ++p;
            spec.precision = 0;
            if (!ReadNumber(p, spec.precision, false, spec)) return nullptr;
        }
        if ((p[0] == 'h' && p[1] == 'h') || (p[0] == 'l' && p[1] == 'l')) {
            p += 2;
        } else if (*p != '\0' && std::strchr("hlLjzt", *p) != nullptr) {
            ++p;
        }
        if (*p == '\0' || std::strchr("diouxXcfFeEgGaAsp", *p) == nullptr) return nullptr;
        spec.conversion = *p++;
        if (static_cast<std::size_t>(p - percent) > kMaxPrintfSpecLength) return nullptr;
        return p;
    }

private:
    bool ReadNumber(const char*& p, int& out, bool isWidth, PrintfSpec& spec) {
        if (*p == '*') {
            ++p;
            if (next_ > args_.size()) return false;
            int64_t value = args_[next_ - 1].AsSigned();
            ++next_;
            if (value > 100000) value = 100000;
            if (value < -100000) value = -100000;
            if (value < 0) {
                // A negative width means left alignment; a negative precision none.
                if (isWidth) {
                    std::size_t n = std::strlen(spec.flags);
                    if (std::strchr(spec.flags, '-') == nullptr && n + 1 < sizeof(spec.flags)) spec.flags[n] = '-';
                    out = static_cast<int>(-value);
                } else {
                    out = -1;
                }
            } else {
                out = static_cast<int>(value);
            }
            return true;
        }
        int value = -1;
        while (IsDigit(*p)) {
            value = (value < 0 ? 0 : value);
            if (value > 100000) return false;
            value = value * 10 + (*p - '0');
            ++p;
        }
        if (value >= 0 || !isWidth) out = value < 0 ? 0 : value;
        return true;
    }

    std::span<const FormatArg> args_;
    std::size_t& next_;
};

}  // namespace

std::size_t FormatPositional(char* buffer, std::size_t capacity, const char* format,
                             std::span<const FormatArg> args) {
    BoundedWriter out(buffer, capacity);
    if (format == nullptr) return 0;
    std::size_t next = 1;  // the sequential argument counter, 1-based
    SpecParser parser(args, next);

    const char* p = format;
    while (*p != '\0' && !out.Full()) {
        if (*p != '%') {
            out.Put(*p++);
            continue;
        }
        const char* percent = p++;
        if (*p == '%') {
            out.Put('%');
            ++p;
            continue;
        }
        if (*p >= '1' && *p <= '9') {
            std::size_t number = 0;
            const char* q = p;
            while (IsDigit(*q) && number <= args.size()) number = number * 10 + static_cast<std::size_t>(*q++ - '0');
            if (!IsDigit(*q) && number <= args.size()) {
                const FormatArg& arg = args[number - 1];
                if (*q != '$') {
                    out.Emit([&](char* at, std::size_t room) { return arg.PrintNatural(at, room); });
                    p = q;
                    continue;
                }
                PrintfSpec spec;
                const char* end = parser.Parse(q + 1, percent, spec);
                if (end == nullptr) break;
                out.Emit([&](char* at, std::size_t room) { return arg.Print(at, room, spec); });
                p = end;
                continue;
            }
        }
        PrintfSpec spec;
        const char* end = parser.Parse(p, percent, spec);
        if (end == nullptr || next > args.size()) break;
        const FormatArg& arg = args[next - 1];
        ++next;
        out.Emit([&](char* at, std::size_t room) { return arg.Print(at, room, spec); });
        p = end;
    }
    return out.Length();
}

std::string FormatMessage(const char* format, std::span<const FormatArg> args) {
    char buffer[kMessageCapacity];
    std::size_t length = FormatPositional(buffer, sizeof(buffer), format, args);
    return std::string(buffer, length);
}

namespace {

constexpr const char* kFieldSuffixes[] = {"_bool", "_int", "_long", "_float", "_str", "_time", "_ip"};

bool HasFieldSuffix(const std::string& name) {
    for (const char* suffix : kFieldSuffixes) {
        std::size_t n = std::strlen(suffix);
        if (name.size() >= n && name.compare(name.size() - n, n, suffix) == 0) return true;
    }
    return false;
}

NamedField MakeField(std::string name, const FormatArg& arg) {
    NamedField field;
    const char* suffix = "";
    switch (arg.kind()) {
        case FormatArg::Kind::Bool:
            field.kind = NamedField::Kind::Bool;
            field.integer = arg.AsSigned();
            suffix = "_bool";
            break;
        case FormatArg::Kind::Double:
            field.kind = NamedField::Kind::Float;
            field.number = arg.AsDouble();
            suffix = "_float";
            break;
        case FormatArg::Kind::Text:
            field.kind = NamedField::Kind::Text;
            field.text = std::string(arg.Text());
            suffix = "_str";
            break;
        case FormatArg::Kind::Pointer:
            field.kind = NamedField::Kind::Pointer;
            field.integer = arg.AsSigned();
            suffix = "_int";
            break;
        default:
            field.kind = NamedField::Kind::Integer;
            field.integer = arg.AsSigned();
            suffix = "_int";
            break;
    }
    if (!HasFieldSuffix(name)) name += suffix;
    field.name = std::move(name);
    return field;
}

// Length of a printf specification at p (just after "%"), 0 when there is none.
std::size_t PrintfSpecLength(const char* p) {
    const char* q = p;
    while (*q != '\0' && std::strchr("-+ #0123456789.*hlLjzt", *q) != nullptr) ++q;
    if (*q == '\0' || std::strchr("diouxXcfFeEgGaAsp", *q) == nullptr) return 0;
    return static_cast<std::size_t>(q - p) + 1;
}

}  // namespace

void FormatNamed(const char* templateText, std::span<const FormatArg> args, std::string& positional,
                 std::vector<NamedField>& fields) {
    positional.clear();
    fields.clear();
    if (templateText == nullptr) return;
    std::size_t index = 0;  // arguments taken so far
    const char* p = templateText;
    while (*p != '\0') {
        if ((p[0] == '{' && p[1] == '{') || (p[0] == '}' && p[1] == '}')) {
            positional += p[0];
            p += 2;
            continue;
        }
        if (p[0] == '%' && p[1] == '%') {
            positional += "%%";
            p += 2;
            continue;
        }
        if (*p == '%') {
            std::size_t length = PrintfSpecLength(p + 1);
            if (length == 0) {
                positional += "%%";  // a stray percent sign reads as itself
                ++p;
                continue;
            }
            // Numbered, so that the positional stage takes this same argument.
            ++index;
            positional += '%' + std::to_string(index) + '$';
            positional.append(p + 1, length);
            p += 1 + length;
            continue;
        }
        if (*p != '{') {
            positional += *p++;
            continue;
        }
        const char* close = std::strchr(p + 1, '}');
        if (close == nullptr) {
            positional.append(p);  // an unclosed brace stays literal text
            break;
        }
        std::string inner(p + 1, close);
        p = close + 1;
        std::string options;
        std::size_t colon = inner.find(':');
        if (colon != std::string::npos) {
            options = inner.substr(colon + 1);
            inner.erase(colon);
        }
        if (!inner.empty() && inner[0] == '#') inner.erase(0, 1);
        while (!inner.empty() && std::strchr("!?@", inner.back()) != nullptr) inner.pop_back();
        ++index;
        positional += '%' + std::to_string(index);
        if (!options.empty() && PrintfSpecLength(options.c_str()) == options.size()) {
            positional += '$';
            positional += options;
        } else if (IsDigit(*p) || *p == '$') {
            positional += "$s";  // "%1" followed by a digit would read as another number
        }
        if (index <= args.size()) fields.push_back(MakeField(std::move(inner), args[index - 1]));
    }
}

}  // namespace Vorn

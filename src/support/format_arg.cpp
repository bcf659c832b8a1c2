#include "support/format_arg.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace Vorn {

namespace {

// Builds "%<flags><width>.<precision><length><conversion>" for snprintf.
void BuildFormat(char* out, const PrintfSpec& spec, const char* length, char conversion) {
    char* p = out;
    *p++ = '%';
    for (const char* f = spec.flags; *f != '\0'; ++f) *p++ = *f;
    if (spec.width >= 0) p += std::sprintf(p, "%d", spec.width);
    if (spec.precision >= 0) p += std::sprintf(p, ".%d", spec.precision);
    while (*length != '\0') *p++ = *length++;
    *p++ = conversion;
    *p = '\0';
}

std::size_t Clamp(int written) { return written < 0 ? 0 : static_cast<std::size_t>(written); }

bool IsIntegerConversion(char c) { return std::strchr("diouxXc", c) != nullptr; }
bool IsFloatConversion(char c) { return std::strchr("fFeEgGaA", c) != nullptr; }

}  // namespace

bool FormatArg::IsInteger() const {
    return kind_ == Kind::Signed32 || kind_ == Kind::Unsigned32 || kind_ == Kind::Signed64 ||
           kind_ == Kind::Unsigned64;
}

int64_t FormatArg::AsSigned() const {
    switch (kind_) {
        case Kind::Signed32:
        case Kind::Signed64: return signed_;
        case Kind::Unsigned32:
        case Kind::Unsigned64:
        case Kind::Bool: return static_cast<int64_t>(unsigned_);
        case Kind::Double:
            // Out-of-range doubles would make the cast undefined.
            if (!(double_ > -9.2233720368547758e18 && double_ < 9.2233720368547758e18)) return 0;
            return static_cast<int64_t>(double_);
        default: return 0;
    }
}

double FormatArg::AsDouble() const {
    switch (kind_) {
        case Kind::Signed32:
        case Kind::Signed64: return static_cast<double>(signed_);
        case Kind::Unsigned32:
        case Kind::Unsigned64:
        case Kind::Bool: return static_cast<double>(unsigned_);
        case Kind::Double: return double_;
        default: return 0.0;
    }
}

std::size_t FormatArg::PrintNatural(char* out, std::size_t capacity) const {
    switch (kind_) {
        case Kind::Text: {
            std::size_t n = text_.size() < capacity ? text_.size() : (capacity == 0 ? 0 : capacity - 1);
            if (capacity != 0) {
                if (n != 0) std::memcpy(out, text_.data(), n);  // an empty view may hold no pointer at all
                out[n] = '\0';
            }
            return text_.size();
        }
        case Kind::Signed32:
        case Kind::Signed64: return Clamp(std::snprintf(out, capacity, "%" PRId64, signed_));
        case Kind::Unsigned32:
        case Kind::Unsigned64: return Clamp(std::snprintf(out, capacity, "%" PRIu64, unsigned_));
        case Kind::Double: return Clamp(std::snprintf(out, capacity, "%g", double_));
        case Kind::Bool: return Clamp(std::snprintf(out, capacity, "%s", unsigned_ != 0 ? "true" : "false"));
        case Kind::Pointer: return Clamp(std::snprintf(out, capacity, "%p", pointer_));
    }
    return 0;
}

std::size_t FormatArg::PrintText(char* out, std::size_t capacity, const PrintfSpec& spec,
                                 std::string_view text) const {
    // Precision bounds the bytes read, so the text needs no terminator.
    PrintfSpec bounded = spec;
    if (bounded.precision < 0 || static_cast<std::size_t>(bounded.precision) > text.size()) {
        bounded.precision = static_cast<int>(text.size());
    }
    char format[80];
    BuildFormat(format, bounded, "", 's');
    return Clamp(std::snprintf(out, capacity, format, text.data()));
}

std::size_t FormatArg::Print(char* out, std::size_t capacity, const PrintfSpec& spec) const {
    char format[80];
    const char c = spec.conversion;
    if (c == 's') {
        if (kind_ == Kind::Text) return PrintText(out, capacity, spec, text_);
        char natural[64];
        std::size_t n = PrintNatural(natural, sizeof(natural));
        return PrintText(out, capacity, spec, std::string_view(natural, n < sizeof(natural) ? n : sizeof(natural) - 1));
    }
    if (c == 'p') {
        BuildFormat(format, spec, "", 'p');
        const void* p = kind_ == Kind::Pointer ? pointer_ : reinterpret_cast<const void*>(static_cast<uintptr_t>(AsSigned()));
        return Clamp(std::snprintf(out, capacity, format, p));
    }
    if (IsFloatConversion(c)) {
        BuildFormat(format, spec, "", c);
        return Clamp(std::snprintf(out, capacity, format, AsDouble()));
    }
    if (IsIntegerConversion(c)) {
        if (kind_ == Kind::Text) return PrintText(out, capacity, spec, text_);
        if (c == 'c') {
            BuildFormat(format, spec, "", 'c');
            return Clamp(std::snprintf(out, capacity, format, static_cast<int>(static_cast<unsigned char>(AsSigned()))));
        }
        if (c == 'd' || c == 'i') {
            BuildFormat(format, spec, "ll", c);
            return Clamp(std::snprintf(out, capacity, format, static_cast<long long>(AsSigned())));
        }
        // Unsigned conversions see a signed argument in its own width, as
        // printf would: -1 as a 32-bit value prints as ffffffff.
        unsigned long long bits = 0;
        switch (kind_) {
            case Kind::Signed32: bits = static_cast<uint32_t>(static_cast<int32_t>(signed_)); break;
            case Kind::Signed64: bits = static_cast<uint64_t>(signed_); break;
            case Kind::Unsigned32:
            case Kind::Unsigned64:
            case Kind::Bool: bits = unsigned_; break;
            case Kind::Pointer: bits = reinterpret_cast<uintptr_t>(pointer_); break;
            default: bits = static_cast<uint64_t>(AsSigned()); break;
        }
        BuildFormat(format, spec, "ll", c);
        return Clamp(std::snprintf(out, capacity, format, bits));
    }
    return 0;
}

}  // namespace Vorn

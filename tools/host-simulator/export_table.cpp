#include "host-simulator/export_table.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

#include "platform/process_info.h"

namespace Vorn::HostSimulator {

namespace {

constexpr uint16_t kSharedObject = 3;   // e_type ET_DYN
constexpr uint32_t kDynamicSymbols = 11;  // sh_type SHT_DYNSYM
constexpr uint8_t kGlobal = 1;
constexpr uint8_t kWeak = 2;
constexpr uint8_t kUnique = 10;         // STB_GNU_UNIQUE
constexpr uint8_t kSectionSymbol = 3;
constexpr uint8_t kFileSymbol = 4;

// Fixed-width fields of the image, in its byte order; nothing when the field
// lies outside the image, so a truncated or forged file fails cleanly.
class Image {
public:
    Image(const std::string& bytes, bool bigEndian) : bytes_(bytes), bigEndian_(bigEndian) {}

    std::optional<uint64_t> Word(uint64_t offset, unsigned width) const {
        if (offset > bytes_.size() || width > bytes_.size() - offset) return std::nullopt;
        uint64_t value = 0;
        for (unsigned i = 0; i < width; ++i) {
            const auto byte = static_cast<uint8_t>(bytes_[offset + (bigEndian_ ? i : width - 1 - i)]);
            value = (value << 8) | byte;
        }
        return value;
    }

    bool Holds(uint64_t offset, uint64_t size) const { return offset <= bytes_.size() && size <= bytes_.size() - offset; }

    const std::string& Bytes() const { return bytes_; }

private:
    const std::string& bytes_;
    bool bigEndian_;
};

// Where the fields of the two classes sit.
struct Layout {
    unsigned address;          // width of addresses and offsets
    uint64_t sectionTable;     // e_shoff
    uint64_t sectionEntrySize; // e_shentsize
    uint64_t sectionCount;     // e_shnum
    unsigned symbolSize;
};

struct Section {
    uint32_t type = 0;
    uint64_t offset = 0;
    uint64_t size = 0;
    uint32_t link = 0;
};

std::optional<Section> ReadSection(const Image& image, const Layout& layout, uint64_t index) {
    const uint64_t base = layout.sectionTable + index * layout.sectionEntrySize;
    const bool wide = layout.address == 8;
    const auto type = image.Word(base + 4, 4);
    const auto offset = image.Word(base + (wide ? 24 : 16), layout.address);
    const auto size = image.Word(base + (wide ? 32 : 20), layout.address);
    const auto link = image.Word(base + (wide ? 40 : 24), 4);
    if (!type || !offset || !size || !link) return std::nullopt;
    return Section{static_cast<uint32_t>(*type), *offset, *size, static_cast<uint32_t>(*link)};
}

}  // namespace

bool ParseExportedSymbols(const std::string& bytes, std::vector<std::string>& names, std::string& error) {
    names.clear();
    auto fail = [&](const std::string& reason) {
        error = reason;
        return false;
    };
    if (bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z') return ParsePortableExecutableExports(bytes, names, error);
    if (bytes.size() < 16 || std::memcmp(bytes.data(), "\x7F" "ELF", 4) != 0) return fail("not an ELF file or a DLL");
    const auto elfClass = static_cast<uint8_t>(bytes[4]);
    const auto byteOrder = static_cast<uint8_t>(bytes[5]);
    if (elfClass != 1 && elfClass != 2) return fail("unknown ELF class " + std::to_string(elfClass));
    if (byteOrder != 1 && byteOrder != 2) return fail("unknown ELF byte order " + std::to_string(byteOrder));
    const Image image(bytes, byteOrder == 2);
    const bool wide = elfClass == 2;

    const auto type = image.Word(16, 2);
    const auto sectionTable = image.Word(wide ? 40 : 32, wide ? 8 : 4);
    const auto entrySize = image.Word(wide ? 58 : 46, 2);
    const auto count = image.Word(wide ? 60 : 48, 2);
    if (!type || !sectionTable || !entrySize || !count) return fail("the ELF header is truncated");
    if (*type != kSharedObject) return fail("not a shared object (ELF type " + std::to_string(*type) + ")");
    Layout layout{wide ? 8u : 4u, *sectionTable, *entrySize, *count, wide ? 24u : 16u};
    if (layout.sectionTable == 0) return fail("the file has no section table");
    if (layout.sectionEntrySize < (wide ? 64u : 40u)) return fail("the section table's entries are too small");
    // Past 0xff00 sections the count lives in the size of section 0.
    if (layout.sectionCount == 0) {
        const auto first = ReadSection(image, layout, 0);
        if (!first) return fail("the section table lies outside the file");
        layout.sectionCount = first->size;
    }
    // The count is bounded first so that the product below cannot overflow.
    if (layout.sectionCount > bytes.size() ||
        !image.Holds(layout.sectionTable, layout.sectionCount * layout.sectionEntrySize)) {
        return fail("the section table lies outside the file");
    }

    for (uint64_t index = 0; index < layout.sectionCount; ++index) {
        const auto symbols = ReadSection(image, layout, index);
        if (!symbols || symbols->type != kDynamicSymbols) continue;
        const auto strings = symbols->link < layout.sectionCount ? ReadSection(image, layout, symbols->link) : std::nullopt;
        if (!strings) return fail("the dynamic symbol table names no string table");
        if (!image.Holds(symbols->offset, symbols->size) || !image.Holds(strings->offset, strings->size)) {
            return fail("the dynamic symbol table lies outside the file");
        }
        const uint64_t symbolCount = symbols->size / layout.symbolSize;
        // Entry 0 is the reserved null symbol.
        for (uint64_t i = 1; i < symbolCount; ++i) {
            const uint64_t at = symbols->offset + i * layout.symbolSize;
            const auto name = image.Word(at, 4);
            const auto info = image.Word(at + (wide ? 4 : 12), 1);
            const auto sectionIndex = image.Word(at + (wide ? 6 : 14), 2);
            if (!name || !info || !sectionIndex) return fail("a dynamic symbol lies outside the file");
            const auto binding = static_cast<uint8_t>(*info >> 4);
            const auto kind = static_cast<uint8_t>(*info & 0xF);
            if (*sectionIndex == 0 || (binding != kGlobal && binding != kWeak && binding != kUnique)) continue;
            if (kind == kSectionSymbol || kind == kFileSymbol) continue;
            if (*name >= strings->size) return fail("a dynamic symbol's name lies outside its string table");
            const char* text = bytes.data() + strings->offset + *name;
            const void* end = std::memchr(text, '\0', strings->size - *name);
            if (end == nullptr) return fail("a dynamic symbol's name is not terminated");
            names.emplace_back(text, static_cast<const char*>(end));
        }
        return true;
    }
    return fail("the file has no dynamic symbol table");
}

bool ReadExportedSymbols(const std::string& path, std::vector<std::string>& names, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read " + path;
        return false;
    }
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) {
        error = "cannot read " + path;
        return false;
    }
    return ParseExportedSymbols(bytes, names, error);
}

std::vector<std::string> EntryExports(const std::vector<std::string>& names) {
    std::vector<std::string> entries;
    std::copy_if(names.begin(), names.end(), std::back_inserter(entries),
                 [](const std::string& name) { return name.rfind("load_", 0) == 0; });
    return entries;
}

std::string ChooseEntry(const std::string& path, const std::vector<std::string>& entries) {
    if (entries.empty()) return {};
    // Either separator: a path may come from Windows whatever reads it.
    std::string named = Platform::FileNamePart(path.c_str());
    named = "load_" + named.substr(0, named.find('.'));
    std::replace(named.begin(), named.end(), '-', '_');
    const auto found = std::find(entries.begin(), entries.end(), named);
    return found != entries.end() ? *found : entries.front();
}

}  // namespace Vorn::HostSimulator

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "host-simulator/export_table.h"

// The export directory of a Windows DLL (PE32 or PE32+), read from the file:
// the headers locate the directory by its address in memory (RVA), and the
// section table maps such addresses to places in the file.

namespace Vorn::HostSimulator {

namespace {

constexpr uint16_t kDllImage = 0x2000;    // IMAGE_FILE_DLL
constexpr uint16_t kPe32 = 0x10B;
constexpr uint16_t kPe32Plus = 0x20B;
constexpr uint32_t kSectionEntrySize = 40;
constexpr uint32_t kExportDirectorySize = 40;

// Little-endian fields of the file; nothing when one lies outside it.
class PeFile {
public:
    explicit PeFile(const std::string& bytes) : bytes_(bytes) {}

    std::optional<uint32_t> Word(uint64_t offset, unsigned width) const {
        if (offset > bytes_.size() || width > bytes_.size() - offset) return std::nullopt;
        uint32_t value = 0;
        for (unsigned i = width; i-- > 0;) value = (value << 8) | static_cast<uint8_t>(bytes_[offset + i]);
        return value;
    }

    bool Holds(uint64_t offset, uint64_t size) const { return offset <= bytes_.size() && size <= bytes_.size() - offset; }

    const std::string& Bytes() const { return bytes_; }

private:
    const std::string& bytes_;
};

struct Section {
    uint32_t address;  // RVA of its first byte
    uint32_t size;     // of its data in the file
    uint32_t offset;   // where that data starts in the file
};

// Where the `size` bytes at an RVA lie in the file: within one section's
// data, which must lie in the file too.
std::optional<uint64_t> FileOffset(const PeFile& file, const std::vector<Section>& sections, uint32_t rva,
                                   uint64_t size) {
    for (const Section& section : sections) {
        if (rva < section.address || rva - section.address >= section.size) continue;
        const uint64_t within = rva - section.address;
        if (size > section.size - within) return std::nullopt;
        const uint64_t offset = section.offset + within;
        if (!file.Holds(offset, size)) return std::nullopt;
        return offset;
    }
    return std::nullopt;
}

}  // namespace

bool ParsePortableExecutableExports(const std::string& bytes, std::vector<std::string>& names, std::string& error) {
    names.clear();
    auto fail = [&](const std::string& reason) {
        error = reason;
        return false;
    };
    const PeFile file(bytes);
    if (bytes.size() < 64 || bytes[0] != 'M' || bytes[1] != 'Z') return fail("not a PE file");
    const uint32_t header = *file.Word(0x3C, 4);
    if (!file.Holds(header, 24) || std::memcmp(bytes.data() + header, "PE\0\0", 4) != 0) {
        return fail("the PE header is missing or truncated");
    }
    const uint32_t sectionCount = *file.Word(header + 6, 2);
    const uint32_t optionalSize = *file.Word(header + 20, 2);
    const uint32_t characteristics = *file.Word(header + 22, 2);
    if ((characteristics & kDllImage) == 0) return fail("not a DLL (an executable image)");

    const uint64_t optional = header + 24;
    const auto magic = file.Word(optional, 2);
    if (!magic || (*magic != kPe32 && *magic != kPe32Plus)) return fail("the optional header is missing or unknown");
    const bool wide = *magic == kPe32Plus;
    const uint64_t directoryCountAt = optional + (wide ? 108 : 92);
    const uint64_t directories = optional + (wide ? 112 : 96);
    if (optionalSize < directories - optional || !file.Holds(optional, optionalSize)) {
        return fail("the optional header is truncated");
    }
    const uint32_t directoryCount = *file.Word(directoryCountAt, 4);
    // The export directory is entry 0 of the data directories.
    if (directoryCount == 0 || optionalSize < directories - optional + 8) return true;
    const uint32_t exportAddress = *file.Word(directories, 4);
    const uint32_t exportSize = *file.Word(directories + 4, 4);
    if (exportAddress == 0 && exportSize == 0) return true;  // a DLL that exports nothing

    const uint64_t sectionTable = optional + optionalSize;
    if (!file.Holds(sectionTable, uint64_t{sectionCount} * kSectionEntrySize)) {
        return fail("the section table lies outside the file");
    }
    std::vector<Section> sections;
    for (uint32_t i = 0; i < sectionCount; ++i) {
        const uint64_t at = sectionTable + uint64_t{i} * kSectionEntrySize;
        sections.push_back(Section{*file.Word(at + 12, 4), *file.Word(at + 16, 4), *file.Word(at + 20, 4)});
    }

    const auto directory = FileOffset(file, sections, exportAddress, kExportDirectorySize);
    if (!directory) return fail("the export directory lies outside the file");
    const uint32_t ordinalBase = *file.Word(*directory + 16, 4);
    const uint32_t functionCount = *file.Word(*directory + 20, 4);
    const uint32_t nameCount = *file.Word(*directory + 24, 4);
    const uint32_t functionTable = *file.Word(*directory + 28, 4);
    const uint32_t nameTable = *file.Word(*directory + 32, 4);
    const uint32_t ordinalTable = *file.Word(*directory + 36, 4);
    // The counts are bounded by the file first, so no product below overflows.
    if (functionCount > bytes.size() || nameCount > bytes.size()) return fail("the export counts exceed the file");
    const auto functions = FileOffset(file, sections, functionTable, uint64_t{functionCount} * 4);
    const auto nameAddresses = FileOffset(file, sections, nameTable, uint64_t{nameCount} * 4);
    const auto ordinals = FileOffset(file, sections, ordinalTable, uint64_t{nameCount} * 2);
    if ((functionCount != 0 && !functions) || (nameCount != 0 && (!nameAddresses || !ordinals))) {
        return fail("an export table lies outside the file");
    }

    std::vector<bool> named(functionCount, false);
    for (uint32_t i = 0; i < nameCount; ++i) {
        const uint32_t nameAddress = *file.Word(*nameAddresses + uint64_t{i} * 4, 4);
        const uint32_t ordinal = *file.Word(*ordinals + uint64_t{i} * 2, 2);
        if (ordinal >= functionCount) return fail("an export's ordinal lies outside its address table");
        named[ordinal] = true;
        const auto text = FileOffset(file, sections, nameAddress, 1);
        if (!text) return fail("an export's name lies outside the file");
        const char* start = bytes.data() + *text;
        const void* end = std::memchr(start, '\0', bytes.size() - *text);
        if (end == nullptr) return fail("an export's name is not terminated");
        names.emplace_back(start, static_cast<const char*>(end));
    }
    // Exports without a name are reached by their ordinal alone: "#<ordinal>".
    for (uint32_t i = 0; i < functionCount; ++i) {
        if (!named[i] && *file.Word(*functions + uint64_t{i} * 4, 4) != 0) {
            names.push_back("#" + std::to_string(uint64_t{ordinalBase} + i));
        }
    }
    return true;
}

}  // namespace Vorn::HostSimulator

// The exports of a shared object, read from its ELF file: both classes and
// byte orders, which symbols count as exported, and files that lie; and of a
// Windows DLL, read from its export directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "host-simulator/export_table.h"

namespace Vorn::HostSimulator {
namespace {

constexpr uint8_t kLocal = 0;
constexpr uint8_t kGlobal = 1;
constexpr uint8_t kWeak = 2;
constexpr uint8_t kUnique = 10;
constexpr uint8_t kFunction = 2;
constexpr uint8_t kSection = 3;
constexpr uint16_t kUndefined = 0;
constexpr uint16_t kText = 7;  // any section index but 0

struct Symbol {
    std::string name;
    uint8_t binding;
    uint8_t type;
    uint16_t section;
};

// What a test breaks in an otherwise sound image.
struct Faults {
    uint16_t fileType = 3;             // a shared object
    uint32_t symbolSectionType = 11;   // the dynamic symbol table
    uint64_t nameShift = 0;            // added to every name offset
    bool sectionTable = true;
};

// A shared object as small as the reader allows: the header, the dynamic
// string table, the dynamic symbol table, then the section table (null,
// .dynsym, .dynstr).
class ElfImage {
public:
    ElfImage(bool wide, bool bigEndian) : wide_(wide), bigEndian_(bigEndian) {}

    std::string Build(const std::vector<Symbol>& symbols, const Faults& faults = {}) {
        bytes_.assign(wide_ ? 64 : 52, '\0');
        bytes_.replace(0, 4, "\x7F" "ELF");
        bytes_[4] = wide_ ? 2 : 1;
        bytes_[5] = bigEndian_ ? 2 : 1;
        bytes_[6] = 1;
        Put(16, faults.fileType, 2);

        const uint64_t strings = bytes_.size();
        std::vector<uint64_t> nameOffsets;
        bytes_.push_back('\0');
        for (const Symbol& symbol : symbols) {
            nameOffsets.push_back(bytes_.size() - strings);
            bytes_ += symbol.name;
            bytes_.push_back('\0');
        }
        const uint64_t stringsSize = bytes_.size() - strings;

        const unsigned symbolSize = wide_ ? 24 : 16;
        const uint64_t table = bytes_.size();
        bytes_.append(symbolSize * (symbols.size() + 1), '\0');  // entry 0 is the null symbol
        for (std::size_t i = 0; i < symbols.size(); ++i) {
            const uint64_t at = table + symbolSize * (i + 1);
            Put(at, nameOffsets[i] + faults.nameShift, 4);
            Put(at + (wide_ ? 4 : 12), static_cast<uint64_t>(symbols[i].binding << 4 | symbols[i].type), 1);
            Put(at + (wide_ ? 6 : 14), symbols[i].section, 2);
        }

        const unsigned sectionSize = wide_ ? 64 : 40;
        const uint64_t sections = bytes_.size();
        bytes_.append(sectionSize * 3, '\0');
        Section(sections + sectionSize, faults.symbolSectionType, table, bytes_.size() - table - sectionSize * 3, 2);
        Section(sections + 2 * sectionSize, 3, strings, stringsSize, 0);
        Put(wide_ ? 40 : 32, faults.sectionTable ? sections : 0, wide_ ? 8 : 4);
        Put(wide_ ? 58 : 46, sectionSize, 2);
        Put(wide_ ? 60 : 48, 3, 2);
        return bytes_;
    }

private:
    void Put(uint64_t offset, uint64_t value, unsigned width) {
        for (unsigned i = 0; i < width; ++i) {
            bytes_[offset + (bigEndian_ ? width - 1 - i : i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
        }
    }

    void Section(uint64_t at, uint32_t type, uint64_t offset, uint64_t size, uint32_t link) {
        Put(at + 4, type, 4);
        Put(at + (wide_ ? 24 : 16), offset, wide_ ? 8 : 4);
        Put(at + (wide_ ? 32 : 20), size, wide_ ? 8 : 4);
        Put(at + (wide_ ? 40 : 24), link, 4);
    }

    bool wide_;
    bool bigEndian_;
    std::string bytes_;
};

const std::vector<Symbol> kMixedSymbols = {
    {"malloc", kGlobal, kFunction, kUndefined},   {"load_plugin", kGlobal, kFunction, kText},
    {"helper", kLocal, kFunction, kText},         {"fallback", kWeak, kFunction, kText},
    {"", kLocal, kSection, kText},                {"shared_table", kUnique, 1, kText},
};

TEST(ExportTable, DefinedGlobalWeakAndUniqueSymbolsInEveryClassAndByteOrder) {
    for (const bool wide : {false, true}) {
        for (const bool bigEndian : {false, true}) {
            const std::string image = ElfImage(wide, bigEndian).Build(kMixedSymbols);
            std::vector<std::string> names;
            std::string error;
            ASSERT_TRUE(ParseExportedSymbols(image, names, error)) << error << (wide ? " 64" : " 32") << bigEndian;
            EXPECT_EQ(names, (std::vector<std::string>{"load_plugin", "fallback", "shared_table"}))
                << (wide ? "64-bit" : "32-bit") << (bigEndian ? " big-endian" : " little-endian");
        }
    }
}

TEST(ExportTable, FilesThatAreNotSoundSharedObjectsFailWithAReason) {
    const struct {
        const char* description;
        std::string image;
        const char* error;
    } cases[] = {
        {"empty", "", "not an ELF file or a DLL"},
        {"text", "#!/bin/sh\necho not a library\n", "not an ELF file or a DLL"},
        {"unknown class", std::string("\x7F" "ELF\x03\x01", 6) + std::string(58, '\0'), "unknown ELF class 3"},
        {"an executable", ElfImage(false, false).Build(kMixedSymbols, {.fileType = 2}),
         "not a shared object (ELF type 2)"},
        {"no section table", ElfImage(true, false).Build(kMixedSymbols, {.sectionTable = false}),
         "the file has no section table"},
        {"only a static symbol table", ElfImage(true, true).Build(kMixedSymbols, {.symbolSectionType = 2}),
         "the file has no dynamic symbol table"},
        {"names outside the strings", ElfImage(false, true).Build(kMixedSymbols, {.nameShift = 1000}),
         "a dynamic symbol's name lies outside its string table"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> names;
        std::string error;
        EXPECT_FALSE(ParseExportedSymbols(c.image, names, error)) << c.description;
        EXPECT_EQ(error, c.error) << c.description;
    }
}

TEST(ExportTable, EveryTruncationFailsCleanly) {
    for (const bool wide : {false, true}) {
        const std::string image = ElfImage(wide, false).Build(kMixedSymbols);
        for (std::size_t length = 0; length < image.size(); ++length) {
            std::vector<std::string> names;
            std::string error;
            EXPECT_FALSE(ParseExportedSymbols(image.substr(0, length), names, error)) << length;
            EXPECT_FALSE(error.empty()) << length;
        }
    }
}

TEST(ExportTable, BuiltPluginsExportTheirEntries) {
    std::vector<std::string> names;
    std::string error;
    ASSERT_TRUE(ReadExportedSymbols(VORN_TEST_PLUGIN_PATH, names, error)) << error;
    EXPECT_EQ(names, std::vector<std::string>{"load_vorn_test_plugin"});

    ASSERT_TRUE(ReadExportedSymbols(VORN_SECOND_EXPORT_PLUGIN_PATH, names, error)) << error;
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"load_second_export_plugin", "load_vorn_second_export_plugin"}));

    EXPECT_FALSE(ReadExportedSymbols("/no/such/library.so", names, error));
    EXPECT_EQ(error, "cannot read /no/such/library.so");
}

TEST(ExportTable, TheEntryToCallIsTheOneNamedAfterTheFile) {
    const std::vector<std::string> entries = EntryExports({"helper", "load_other", "load_my_plugin", "unload_x"});
    EXPECT_EQ(entries, (std::vector<std::string>{"load_other", "load_my_plugin"}));
    EXPECT_EQ(ChooseEntry("dir/my-plugin.so", entries), "load_my_plugin");
    EXPECT_EQ(ChooseEntry("dir/unrelated.so", entries), "load_other") << "else the first";
    EXPECT_EQ(ChooseEntry("dir/my-plugin.so", {}), "");
    EXPECT_EQ(ChooseEntry("C:\\Plugins\\my-plugin.dll", entries), "load_my_plugin") << "Windows separators";
}

// --- Windows DLLs ---------------------------------------------------------

struct PeFaults {
    bool dll = true;                 // the image says it is a DLL
    bool exportDirectory = true;     // the data directory points at it
    uint32_t nameShift = 0;          // added to every name's address
    uint16_t ordinalShift = 0;       // added to every name's ordinal
    uint32_t unnamedFunctions = 0;   // exports reachable by ordinal alone
};

// A DLL as small as the reader allows: the DOS header, the PE and optional
// headers, one section holding the export directory, its three tables and
// the names.
class PeImage {
public:
    explicit PeImage(bool wide) : wide_(wide) {}

    std::string Build(const std::vector<std::string>& exported, const PeFaults& faults = {}) {
        const uint32_t optionalSize = wide_ ? 240 : 224;
        const uint32_t header = 64;
        const uint32_t sectionTable = header + 24 + optionalSize;
        const uint32_t data = sectionTable + 40;
        const uint32_t sectionAddress = 0x1000;
        bytes_.assign(data, '\0');
        bytes_.replace(0, 2, "MZ");
        Put(0x3C, header, 4);
        bytes_.replace(header, 4, std::string("PE\0\0", 4));
        Put(header + 4, wide_ ? 0x8664 : 0x14C, 2);
        Put(header + 6, 1, 2);
        Put(header + 20, optionalSize, 2);
        Put(header + 22, faults.dll ? 0x2022 : 0x0022, 2);
        const uint32_t optional = header + 24;
        Put(optional, wide_ ? 0x20B : 0x10B, 2);
        Put(optional + (wide_ ? 108 : 92), 16, 4);

        // The section's contents, addressed from sectionAddress.
        const uint32_t functions = static_cast<uint32_t>(exported.size()) + faults.unnamedFunctions;
        std::string section(40, '\0');
        const uint32_t functionTable = sectionAddress + static_cast<uint32_t>(section.size());
        for (uint32_t i = 0; i < functions; ++i) Append(section, 0x2000 + 16 * i, 4);
        const uint32_t nameTable = sectionAddress + static_cast<uint32_t>(section.size());
        section.append(4 * exported.size(), '\0');
        const uint32_t ordinalTable = sectionAddress + static_cast<uint32_t>(section.size());
        // The names take the last ordinals, so unnamed exports come first.
        for (std::size_t i = 0; i < exported.size(); ++i) {
            Append(section, faults.unnamedFunctions + i + faults.ordinalShift, 2);
        }
        for (std::size_t i = 0; i < exported.size(); ++i) {
            const uint32_t name = sectionAddress + static_cast<uint32_t>(section.size());
            section += exported[i];
            section.push_back('\0');
            const std::size_t at = nameTable - sectionAddress + 4 * i;
            for (unsigned b = 0; b < 4; ++b) section[at + b] = static_cast<char>(((name + faults.nameShift) >> (8 * b)) & 0xFF);
        }
        PutIn(section, 16, 1, 4);  // ordinal base
        PutIn(section, 20, functions, 4);
        PutIn(section, 24, static_cast<uint32_t>(exported.size()), 4);
        PutIn(section, 28, functionTable, 4);
        PutIn(section, 32, nameTable, 4);
        PutIn(section, 36, ordinalTable, 4);

        const uint32_t directories = optional + (wide_ ? 112 : 96);
        if (faults.exportDirectory) {
            Put(directories, sectionAddress, 4);
            Put(directories + 4, static_cast<uint32_t>(section.size()), 4);
        }
        bytes_.replace(sectionTable, 6, ".edata");
        Put(sectionTable + 8, static_cast<uint32_t>(section.size()), 4);
        Put(sectionTable + 12, sectionAddress, 4);
        Put(sectionTable + 16, static_cast<uint32_t>(section.size()), 4);
        Put(sectionTable + 20, data, 4);
        bytes_ += section;
        return bytes_;
    }

private:
    void Put(uint64_t offset, uint64_t value, unsigned width) { PutIn(bytes_, offset, value, width); }
    static void PutIn(std::string& bytes, uint64_t offset, uint64_t value, unsigned width) {
        for (unsigned i = 0; i < width; ++i) bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    static void Append(std::string& bytes, uint64_t value, unsigned width) {
        bytes.append(width, '\0');
        PutIn(bytes, bytes.size() - width, value, width);
    }

    bool wide_;
    std::string bytes_;
};

TEST(ExportTable, DllExportsByNameThenByOrdinalAloneInBothWidths) {
    for (const bool wide : {false, true}) {
        std::vector<std::string> names;
        std::string error;
        ASSERT_TRUE(ParseExportedSymbols(PeImage(wide).Build({"load_plugin", "helper"}), names, error)) << error;
        EXPECT_EQ(names, (std::vector<std::string>{"load_plugin", "helper"})) << (wide ? "PE32+" : "PE32");

        ASSERT_TRUE(ParseExportedSymbols(PeImage(wide).Build({"load_plugin"}, {.unnamedFunctions = 2}), names, error))
            << error;
        EXPECT_EQ(names, (std::vector<std::string>{"load_plugin", "#1", "#2"})) << "ordinals count from the base, 1";

        ASSERT_TRUE(ParseExportedSymbols(PeImage(wide).Build({"load_plugin"}, {.exportDirectory = false}), names, error))
            << error;
        EXPECT_EQ(names, std::vector<std::string>{}) << "a DLL that exports nothing";
    }
}

TEST(ExportTable, DllsThatAreNotSoundFailWithAReason) {
    const struct {
        const char* description;
        std::string image;
        const char* error;
    } cases[] = {
        {"an executable", PeImage(true).Build({"load_plugin"}, {.dll = false}), "not a DLL (an executable image)"},
        {"a name outside the file", PeImage(false).Build({"load_plugin"}, {.nameShift = 0x100000}),
         "an export's name lies outside the file"},
        {"an ordinal outside the addresses", PeImage(true).Build({"load_plugin"}, {.ordinalShift = 1}),
         "an export's ordinal lies outside its address table"},
        {"only a DOS header", std::string("MZ") + std::string(62, '\0'), "the PE header is missing or truncated"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> names;
        std::string error;
        EXPECT_FALSE(ParseExportedSymbols(c.image, names, error)) << c.description;
        EXPECT_EQ(error, c.error) << c.description;
    }
}

TEST(ExportTable, EveryTruncationOfADllFailsCleanly) {
    for (const bool wide : {false, true}) {
        const std::string image = PeImage(wide).Build({"load_plugin", "helper"});
        for (std::size_t length = 0; length < image.size(); ++length) {
            std::vector<std::string> names;
            std::string error;
            EXPECT_FALSE(ParseExportedSymbols(image.substr(0, length), names, error)) << length;
            EXPECT_FALSE(error.empty()) << length;
        }
    }
}

}  // namespace
}  // namespace Vorn::HostSimulator

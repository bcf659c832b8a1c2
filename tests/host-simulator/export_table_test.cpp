// The exports of a shared object, read from its ELF file: both classes and
// byte orders, which symbols count as exported, and files that lie.
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
        {"empty", "", "not an ELF file"},
        {"text", "#!/bin/sh\necho not a library\n", "not an ELF file"},
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
}

}  // namespace
}  // namespace Vorn::HostSimulator

#pragma once
// The symbols a shared library exports, read from the file itself rather
// than by loading it: the platform's loader finds a named symbol but cannot
// list them, and a library that is not sound should not run to be inspected.
#include <string>
#include <vector>

namespace Vorn::HostSimulator {

// The names a library exports, in table order: of an ELF shared object the
// defined global and weak symbols of its dynamic symbol table (32- or 64-bit,
// either byte order); of a Windows DLL (PE32 or PE32+) the names of its
// export directory, then "#<ordinal>" for each export that has no name.
// False with a reason when the file cannot be read or is not such a library;
// every offset in it is checked before use.
bool ReadExportedSymbols(const std::string& path, std::vector<std::string>& names, std::string& error);

// Parses an image already in memory (the file's bytes), either kind.
bool ParseExportedSymbols(const std::string& image, std::vector<std::string>& names, std::string& error);

// The DLL half of ParseExportedSymbols.
bool ParsePortableExecutableExports(const std::string& image, std::vector<std::string>& names, std::string& error);

// The exports a host would call, those named load_*, in the order given.
std::vector<std::string> EntryExports(const std::vector<std::string>& names);

// Which of them to call: the only one; among several, the one named after the
// file ("dir/my-plugin.so" or "dir\\my-plugin.dll" -> load_my_plugin) when there is one, else the
// first; "" when there is none.
std::string ChooseEntry(const std::string& path, const std::vector<std::string>& entries);

}  // namespace Vorn::HostSimulator

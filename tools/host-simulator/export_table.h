#pragma once
// The symbols a shared library exports, read from the file itself rather
// than by loading it: the platform's loader finds a named symbol but cannot
// list them, and a library that is not sound should not run to be inspected.
#include <string>
#include <vector>

namespace Vorn::HostSimulator {

// The names of the defined global and weak symbols of an ELF shared object's
// dynamic symbol table (32- or 64-bit, either byte order), in table order.
// False with a reason when the file cannot be read or is not such an object;
// every offset in it is checked before use.
bool ReadExportedSymbols(const std::string& path, std::vector<std::string>& names, std::string& error);

// Parses an image already in memory (the file's bytes).
bool ParseExportedSymbols(const std::string& image, std::vector<std::string>& names, std::string& error);

// The exports a host would call, those named load_*, in the order given.
std::vector<std::string> EntryExports(const std::vector<std::string>& names);

// Which of them to call: the only one; among several, the one named after the
// file ("dir/my-plugin.so" -> load_my_plugin) when there is one, else the
// first; "" when there is none.
std::string ChooseEntry(const std::string& path, const std::vector<std::string>& entries);

}  // namespace Vorn::HostSimulator

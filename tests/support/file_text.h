#pragma once
// Whole files as text, for tests that read documents and programs' output.
#include <fstream>
#include <sstream>
#include <string>

namespace Vorn::Testing {

// The file's bytes; empty when it cannot be read.
inline std::string ReadFileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace Vorn::Testing

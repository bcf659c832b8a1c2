#pragma once
// The benchmark documents (bench/data), read once.
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>

namespace VornBench {

inline const std::string& BenchFile(const std::string& name) {
    static std::map<std::string, std::string> files;
    auto found = files.find(name);
    if (found != files.end()) return found->second;
    std::ifstream file(std::string(VORN_BENCH_DATA) + "/" + name, std::ios::binary);
    if (!file) throw std::runtime_error("benchmark document missing: " + name);
    std::ostringstream text;
    text << file.rdbuf();
    return files.emplace(name, text.str()).first->second;
}

}  // namespace VornBench

// Path templates and paths from the fuzzer's bytes (template, a NUL, path):
// compiling never crashes (it may refuse), matching never crashes, and for
// short inputs the match and its captures agree with std::regex on the
// pattern text the template stands for. Matching time is libFuzzer's
// -timeout to watch: the matcher is meant to stay linear in the path.
#include <cstddef>
#include <cstdint>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "dispatch/path_template.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view templateText = input.substr(0, split);
    const std::string path(split == std::string_view::npos ? std::string_view() : input.substr(split + 1));

    Vorn::PathPattern pattern;
    std::string error;
    if (!Vorn::CompilePathTemplate(templateText, pattern, &error)) {
        if (error.empty()) __builtin_trap();  // a refusal says why
        return 0;
    }
    std::vector<std::string_view> captures;
    const bool matched = pattern.Match(path, captures);
    if (matched && captures.size() != pattern.Placeholders().size()) __builtin_trap();

    // std::regex recurses per character and backtracks over every split of
    // the path among adjacent captures: only short inputs with few
    // placeholders are compared.
    if (templateText.size() > 48 || path.size() > 32 || pattern.Placeholders().size() > 3) return 0;
    std::regex engine;
    try {
        engine = std::regex(pattern.Text(), std::regex::ECMAScript);
    } catch (const std::regex_error&) {
        __builtin_trap();  // the pattern text must be a valid expression
    }
    std::smatch expected;
    if (std::regex_match(path, expected, engine) != matched) __builtin_trap();
    if (!matched) return 0;
    if (expected.size() != captures.size() + 1) __builtin_trap();
    for (std::size_t i = 0; i < captures.size(); ++i) {
        if (captures[i] != expected[i + 1].str()) __builtin_trap();
    }
    return 0;
}

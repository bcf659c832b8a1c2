// vorn-codec: decodes a document with the library's readers and prints the
// value as JSON, to try the codecs by hand and to script them.
//
//   vorn-codec decode --format json|yaml|msgpack [--pretty] [--consumed] [FILE|-]
//
// Exit status: 0 decoded, 1 the input failed to decode (the message is on
// standard error), 2 usage or input/output errors.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>

#include "formats/json_reader.h"
#include "formats/json_writer.h"
#include "formats/msgpack_reader.h"
#include "formats/yaml_reader.h"
#include "platform/standard_streams.h"

namespace {

constexpr const char* kUsage =
    "usage: vorn-codec decode --format json|yaml|msgpack [--pretty] [--consumed] [FILE|-]\n"
    "  Decodes FILE (or standard input) and prints the value as JSON.\n"
    "  --pretty     indented output instead of compact\n"
    "  --consumed   (msgpack) also print \"consumed: N\", the bytes read, on standard error\n";

int Usage(const char* problem) {
    if (problem != nullptr) std::fprintf(stderr, "vorn-codec: %s\n", problem);
    std::fputs(kUsage, stderr);
    return 2;
}

bool ReadAll(std::FILE* file, std::string& out) {
    char chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), file)) > 0) out.append(chunk, n);
    return std::ferror(file) == 0;
}

struct Options {
    std::string format;
    bool pretty = false;
    bool consumed = false;
    std::string input = "-";
};

}  // namespace

int main(int argc, char** argv) {
    Vorn::Platform::UseBinaryStandardStreams();
    if (argc < 2) return Usage(nullptr);
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (std::strcmp(argv[1], "decode") != 0) return Usage("the only command is decode");

    Options options;
    bool haveInput = false;
    for (int i = 2; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--format") {
            if (++i >= argc) return Usage("--format needs a value");
            options.format = argv[i];
        } else if (arg.rfind("--format=", 0) == 0) {
            options.format = std::string(arg.substr(9));
        } else if (arg == "--pretty") {
            options.pretty = true;
        } else if (arg == "--consumed") {
            options.consumed = true;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            return Usage(("unknown option " + std::string(arg)).c_str());
        } else if (haveInput) {
            return Usage("only one input");
        } else {
            options.input = std::string(arg);
            haveInput = true;
        }
    }
    if (options.format.empty()) return Usage("--format is required");
    if (options.format != "json" && options.format != "yaml" && options.format != "msgpack") {
        return Usage(("unknown format " + options.format).c_str());
    }
    if (options.consumed && options.format != "msgpack") return Usage("--consumed is for --format msgpack");

    std::string bytes;
    std::FILE* file = options.input == "-" ? stdin : std::fopen(options.input.c_str(), "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "vorn-codec: cannot open %s: %s\n", options.input.c_str(), std::strerror(errno));
        return 2;
    }
    const bool read = ReadAll(file, bytes);
    if (file != stdin) std::fclose(file);
    if (!read) {
        std::fprintf(stderr, "vorn-codec: cannot read %s\n", options.input.c_str());
        return 2;
    }

    Vorn::BindingResult result;
    std::size_t consumed = 0;
    if (options.format == "json") {
        result = Vorn::DeserializeJson(bytes.c_str());
    } else if (options.format == "yaml") {
        result = Vorn::DeserializeYaml(bytes);
    } else {
        result = Vorn::ReadMessagePack(bytes, &consumed);
    }
    if (!result.ok) {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(result.Message().size()), result.Message().data());
        if (options.consumed) std::fprintf(stderr, "consumed: %zu\n", consumed);
        return 1;
    }
    const std::string text = Vorn::SerializeJson(result.value, nullptr,
                                                 options.pretty ? Vorn::JsonWriteOptions::Pretty() : Vorn::JsonWriteOptions{});
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    if (std::fflush(stdout) != 0) return 2;
    // Last on standard error, after anything else written there.
    if (options.consumed) std::fprintf(stderr, "consumed: %zu\n", consumed);
    return 0;
}

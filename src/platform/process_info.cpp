#include "platform/process_info.h"

#include <cstring>

#include "platform/system_paths.h"

namespace Vorn::Platform {

namespace {
constexpr const char* kUnknown = "<unknown>";

// Both come from a buffer of the same capacity, so the text always fits.
void CopyText(char (&out)[kPathCapacity], const char* text) {
    std::size_t length = std::strlen(text);
    if (length >= kPathCapacity) length = kPathCapacity - 1;
    std::memcpy(out, text, length);
    out[length] = '\0';
}

// Resolved once; the names are fixed for the life of the process.
struct ModuleNames {
    char module[kPathCapacity] = {};
    char executable[kPathCapacity] = {};
    char executablePath[kPathCapacity] = {};

    ModuleNames() {
        char path[kPathCapacity] = {};
        if (SystemModulePath(path) && path[0] != '\0') {
            CopyText(module, FileNamePart(path));
        }
        if (SystemExecutablePath(path) && path[0] != '\0') {
            CopyText(executable, FileNamePart(path));
            CopyText(executablePath, path);
        }
    }
};

const ModuleNames& Names() {
    static const ModuleNames names;
    return names;
}

const char* OrUnknown(const char* text) { return text[0] != '\0' ? text : kUnknown; }
}  // namespace

const char* FileNamePart(const char* path) {
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') name = p + 1;
    }
    return name;
}

const char* ModuleFileName() { return OrUnknown(Names().module); }
const char* ExecutableFileName() { return OrUnknown(Names().executable); }
const char* ExecutablePath() { return OrUnknown(Names().executablePath); }

}  // namespace Vorn::Platform

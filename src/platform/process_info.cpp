#include "platform/process_info.h"

namespace Vorn::Platform {

const char* FileNamePart(const char* path) {
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') name = p + 1;
    }
    return name;
}

}  // namespace Vorn::Platform

#include <sys/random.h>

#include <cerrno>

#include "platform/system_random.h"

namespace Vorn::Platform {

std::size_t FillFromSystem(void* buffer, std::size_t bytes) {
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t got = getrandom(out + done, bytes - done, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

}  // namespace Vorn::Platform

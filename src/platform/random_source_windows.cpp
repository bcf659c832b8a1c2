#include <windows.h>
#include <bcrypt.h>

#include "platform/system_random.h"

namespace Vorn::Platform {

std::size_t FillFromSystem(void* buffer, std::size_t bytes) {
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < bytes) {
        // The generator takes a ULONG length; large buffers go in pieces.
        const ULONG chunk = static_cast<ULONG>(bytes - done > 0x10000000u ? 0x10000000u : bytes - done);
        if (BCryptGenRandom(nullptr, out + done, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) break;
        done += chunk;
    }
    return done;
}

}  // namespace Vorn::Platform

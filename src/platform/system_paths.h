#pragma once
// The system's answers behind process_info.h, one implementation per system.
#include <cstddef>

namespace Vorn::Platform {

// Room for a path in the process's records of its names.
inline constexpr std::size_t kPathCapacity = 4096;

// Each writes the full path (NUL-terminated) into out, of kPathCapacity bytes,
// and returns false when the system cannot tell or the path does not fit.
// The module is the one holding this code (the plug-in library when loaded as
// one, not the host's executable).
bool SystemModulePath(char* out);
bool SystemExecutablePath(char* out);

}  // namespace Vorn::Platform

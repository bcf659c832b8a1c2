#pragma once
// Facts about the running process and module.
#include <cstddef>
#include <cstdint>

namespace Vorn::Platform {

// File name of the module that holds this code (the plug-in library when it is
// loaded as one, else the executable): the path after its last separator, or
// "<unknown>" when the system cannot tell. The text lives for the process.
const char* ModuleFileName();

// File name of the process's executable, "<unknown>" when not known.
const char* ExecutableFileName();
// Its full path, "<unknown>" when not known.
const char* ExecutablePath();

// The text after the last '/' or '\\' of a path.
const char* FileNamePart(const char* path);

// An identifier of the calling thread, printable with %p.
const void* CurrentThreadId();

// An environment variable of the process, copied into out (capacity bytes,
// NUL-terminated): false when it is not set or does not fit. Allocates
// nothing (the heap hooks call it).
bool EnvironmentText(const char* name, char* out, std::size_t capacity);
// Sets an environment variable of the process, for code that reads it later
// (a library loaded afterwards).
bool SetEnvironmentText(const char* name, const char* value);

}  // namespace Vorn::Platform

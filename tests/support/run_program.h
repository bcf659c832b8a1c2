#pragma once
// Runs a program of the build with its standard streams taken from and sent
// to files, for the tests where a program's exit code and output are what
// counts. POSIX: through the shell, under the build's emulator when it has one
// (a 32-bit program where the kernel cannot run it). Windows: the program is
// started directly; the test program is the one under the emulator there.
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/wait.h>

#include <cstdlib>
#endif

namespace Vorn::Testing {

struct ProgramFiles {
    std::string input;  // empty: no input
    std::string output;
    std::string errors;
};

#if defined(_WIN32)

// The program's exit code; -1 when it could not be started.
inline int RunProgram(const std::string& /*runner*/, const std::string& program, const std::string& arguments,
                      const ProgramFiles& files) {
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    auto open = [&](const std::string& path, bool write) {
        return CreateFileA(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inherited, write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE in = open(files.input.empty() ? "NUL" : files.input, false);
    HANDLE out = open(files.output, true);
    HANDLE err = open(files.errors, true);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    // The arguments are plain words, so only the program's path is quoted.
    std::string commandLine = "\"" + program + "\" " + arguments;
    const bool started = in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
                         CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process) != 0;
    for (HANDLE handle : {in, out, err}) {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    if (!started) return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

#else

// The program's exit code; -1 when it did not exit (a signal ended it).
inline int RunProgram(const std::string& runner, const std::string& program, const std::string& arguments,
                      const ProgramFiles& files) {
    std::string command = runner + " " + program + " " + arguments;
    if (!files.input.empty()) command += " < " + files.input;
    command += " > " + files.output + " 2> " + files.errors;
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

#endif

}  // namespace Vorn::Testing

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "host-simulator/child_process.h"
#include "platform/process_info.h"

// Windows has no fork: a child is a new run of the same program, started
// with kChildFlag, the handle of its channel and the work's name and
// arguments; ServeChildWork, first in its main, does the work there.

namespace Vorn::HostSimulator {

namespace {

using ChildProtocol::kFinished;
using ChildProtocol::kWorkThrew;

constexpr const char* kChildFlag = "--vorn-host-child-work";

class HandleChannel : public Channel {
public:
    explicit HandleChannel(HANDLE handle) : handle_(handle) {}

    void Write(const std::string& line) override {
        const std::string text = line + "\n";
        const char* data = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 20));
            if (WriteFile(handle_, data, chunk, &written, nullptr) == 0 || written == 0) return;  // the parent is gone
            data += written;
            left -= written;
        }
    }

private:
    HANDLE handle_;
};

// One argument as the C runtime splits a command line: quoted when it holds
// a space, a tab or a quote, each quote and the backslashes before it (or
// before the closing quote) escaped.
std::string Quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(2 * backslashes + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

std::string SystemMessage(DWORD code) {
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        text, sizeof(text), nullptr);
    std::string message = length != 0 ? std::string(text, length) : "error " + std::to_string(code);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
    return message;
}

// Reads a pipe to its end (every copy of its writing end closed).
template <typename Keep>
void Drain(HANDLE pipe, Keep keep) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof(buffer), &got, nullptr) != 0 && got != 0) keep(buffer, got);
}

// In the child: an unhandled exception is reported on standard error and
// ends the process with the exception's code, without the system's crash
// dialog or debugger.
LONG WINAPI ReportUnhandledException(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    std::fprintf(stderr, "unhandled exception 0x%08lX at %p\n", static_cast<unsigned long>(record.ExceptionCode),
                 record.ExceptionAddress);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), record.ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Exit codes of the form 0xCnnnnnnn are the status codes of exceptions, as
// is a breakpoint's 0x80000003; a program's own exit codes are small.
bool IsExceptionCode(DWORD code) { return (code >> 28) == 0xC || code == 0x80000003u; }

}  // namespace

namespace ChildProtocol {

std::string CrashText(int code) {
    const auto status = static_cast<DWORD>(code);
    const char* name = "unknown";
    switch (status) {
        case 0xC0000005u: name = "access violation"; break;
        case 0xC00000FDu: name = "stack overflow"; break;
        case 0xC000001Du: name = "illegal instruction"; break;
        case 0xC0000094u: name = "integer division by zero"; break;
        case 0xC0000409u: name = "stack buffer overrun"; break;
        case 0xC0000374u: name = "heap corruption"; break;
        case 0x80000003u: name = "breakpoint"; break;
        default: break;
    }
    char text[120];
    std::snprintf(text, sizeof(text), "exception 0x%08lX (%s)", static_cast<unsigned long>(status), name);
    return text;
}

}  // namespace ChildProtocol

void ServeChildWork(int argc, char** argv, WorkPerformer perform) {
    if (argc < 4 || std::strcmp(argv[1], kChildFlag) != 0) return;
    // No dialog for a crash or a missing file: a child reports, it does not ask.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(ReportUnhandledException);
    const auto handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::strtoull(argv[2], nullptr, 10)));
    HandleChannel channel(handle);
    const ChildWork work{argv[3], std::vector<std::string>(argv + 4, argv + argc)};
    UINT code = 0;
    try {
        perform(work, channel);
        channel.Write(kFinished);
    } catch (...) {
        code = kWorkThrew;
    }
    std::fflush(nullptr);
    // No exit handlers, destructors or library detach notifications: the
    // plug-in is still loaded, and it must not run again after the work
    // said what it found.
    TerminateProcess(GetCurrentProcess(), code);
    std::_Exit(static_cast<int>(code));
}

// The child does the work through the performer its own ServeChildWork was
// given.
ChildOutcome RunInChild(const ChildWork& work, WorkPerformer, double timeLimitSeconds) {
    ChildOutcome outcome;
    const auto started = std::chrono::steady_clock::now();
    const std::string program = Platform::ExecutablePath();

    // The child's ends are inherited; the parent's are not, so that the
    // parent's reads end when the child does.
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE channelRead = nullptr;
    HANDLE channelWrite = nullptr;
    HANDLE errorRead = nullptr;
    HANDLE errorWrite = nullptr;
    if (CreatePipe(&channelRead, &channelWrite, &inherited, 0) == 0) {
        outcome.output = SystemMessage(GetLastError());
        return outcome;
    }
    if (CreatePipe(&errorRead, &errorWrite, &inherited, 0) == 0) {
        outcome.output = SystemMessage(GetLastError());
        CloseHandle(channelRead);
        CloseHandle(channelWrite);
        return outcome;
    }
    SetHandleInformation(channelRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errorRead, HANDLE_FLAG_INHERIT, 0);
    HANDLE null = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);

    std::string commandLine = Quoted(program) + " " + kChildFlag + " " +
                              std::to_string(reinterpret_cast<uintptr_t>(channelWrite)) + " " + Quoted(work.name);
    for (const std::string& argument : work.arguments) commandLine += " " + Quoted(argument);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = null;
    startup.hStdOutput = null;
    startup.hStdError = errorWrite;
    PROCESS_INFORMATION process{};
    // What the parent buffered must come out before the child's output.
    std::fflush(nullptr);
    const bool created = CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process) != 0;
    const DWORD createError = GetLastError();
    CloseHandle(channelWrite);
    CloseHandle(errorWrite);
    if (null != INVALID_HANDLE_VALUE) CloseHandle(null);
    if (!created) {
        outcome.output = SystemMessage(createError);
        CloseHandle(channelRead);
        CloseHandle(errorRead);
        return outcome;
    }
    CloseHandle(process.hThread);

    // Anonymous pipes cannot be waited on together with a time limit: a
    // thread drains each while this one waits for the process.
    std::thread readOutput([&] { Drain(channelRead, [&](const char* data, DWORD size) { outcome.output.append(data, size); }); });
    std::thread readErrors(
        [&] { Drain(errorRead, [&](const char* data, DWORD size) { ChildProtocol::KeepErrors(outcome, data, size); }); });

    const auto deadline = started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                        std::chrono::duration<double>(timeLimitSeconds));
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const bool timedOut =
        WaitForSingleObject(process.hProcess, static_cast<DWORD>(std::max<long long>(0, left.count()))) != WAIT_OBJECT_0;
    if (timedOut) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    readOutput.join();
    readErrors.join();
    CloseHandle(channelRead);
    CloseHandle(errorRead);

    const bool finished = ChildProtocol::FinishOutput(outcome);
    if (timedOut) {
        outcome.end = ChildOutcome::End::TimedOut;
    } else if (IsExceptionCode(code)) {
        outcome.end = ChildOutcome::End::Crashed;
        outcome.code = static_cast<int>(code);
    } else if (finished && code == 0) {
        outcome.end = ChildOutcome::End::Finished;
    } else {
        outcome.end = ChildOutcome::End::Exited;
        outcome.code = static_cast<int>(code);
    }
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return outcome;
}

}  // namespace Vorn::HostSimulator

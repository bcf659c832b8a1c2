#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "host-simulator/child_process.h"

namespace Vorn::HostSimulator {

namespace {

using ChildProtocol::kFinished;
using ChildProtocol::kWorkThrew;

class PipeChannel : public Channel {
public:
    explicit PipeChannel(int fd) : fd_(fd) {}

    void Write(const std::string& line) override {
        std::string text = line;
        text += '\n';
        const char* data = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            const ssize_t written = write(fd_, data, left);
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) return;  // the parent is gone
            data += written;
            left -= static_cast<std::size_t>(written);
        }
    }

private:
    int fd_;
};

[[noreturn]] void RunChild(const ChildWork& work, WorkPerformer perform, int out, int err) {
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    PipeChannel channel(out);
    int code = 0;
    try {
        perform(work, channel);
        channel.Write(kFinished);
    } catch (...) {
        code = kWorkThrew;
    }
    // No exit handlers or destructors: they belong to the parent's state.
    _exit(code);
}

void CloseBoth(int fds[2]) {
    close(fds[0]);
    close(fds[1]);
}

}  // namespace

namespace ChildProtocol {

std::string CrashText(int code) {
    const char* name = strsignal(code);
    char text[120];
    std::snprintf(text, sizeof(text), "signal %d (%s)", code, name != nullptr ? name : "unknown");
    return text;
}

}  // namespace ChildProtocol

// Children are forked here: they never run main again.
void ServeChildWork(int, char**, WorkPerformer) {}

ChildOutcome RunInChild(const ChildWork& work, WorkPerformer perform, double timeLimitSeconds) {
    ChildOutcome outcome;
    const auto started = std::chrono::steady_clock::now();
    int out[2];
    int err[2];
    if (pipe(out) != 0) {
        outcome.output = std::strerror(errno);
        return outcome;
    }
    if (pipe(err) != 0) {
        outcome.output = std::strerror(errno);
        CloseBoth(out);
        return outcome;
    }
    // What the parent buffered must not be written twice.
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        outcome.output = std::strerror(errno);
        CloseBoth(out);
        CloseBoth(err);
        return outcome;
    }
    if (pid == 0) {
        close(out[0]);
        close(err[0]);
        RunChild(work, perform, out[1], err[1]);
    }
    close(out[1]);
    close(err[1]);

    const auto deadline = started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                        std::chrono::duration<double>(timeLimitSeconds));
    auto remainingMs = [&] {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        return static_cast<int>(std::max<long long>(0, left.count()));
    };
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    bool timedOut = false;
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        const int wait = remainingMs();
        if (wait == 0) {
            timedOut = true;
            break;
        }
        const int ready = poll(fds, 2, wait);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) break;
        for (pollfd& fd : fds) {
            if (fd.fd < 0 || fd.revents == 0) continue;
            char buffer[4096];
            const ssize_t got = read(fd.fd, buffer, sizeof(buffer));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                close(fd.fd);
                fd.fd = -1;
                continue;
            }
            const std::size_t size = static_cast<std::size_t>(got);
            if (&fd == &fds[0]) {
                outcome.output.append(buffer, size);
                continue;
            }
            ChildProtocol::KeepErrors(outcome, buffer, size);
        }
    }
    // Both pipes closed: the child is ending; it still gets until the deadline.
    int status = 0;
    pid_t ended = 0;
    while (!timedOut) {
        ended = waitpid(pid, &status, WNOHANG);
        if (ended != 0 || remainingMs() == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (ended == 0) {
        timedOut = true;
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    for (const pollfd& fd : fds) {
        if (fd.fd >= 0) close(fd.fd);
    }

    const bool finished = ChildProtocol::FinishOutput(outcome);
    if (timedOut) {
        outcome.end = ChildOutcome::End::TimedOut;
    } else if (WIFSIGNALED(status)) {
        outcome.end = ChildOutcome::End::Crashed;
        outcome.code = WTERMSIG(status);
    } else if (finished && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        outcome.end = ChildOutcome::End::Finished;
    } else {
        outcome.end = ChildOutcome::End::Exited;
        outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return outcome;
}

}  // namespace Vorn::HostSimulator

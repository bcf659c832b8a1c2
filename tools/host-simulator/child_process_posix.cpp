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

// The child's last line when its work returned: anything else that ends the
// child (a plug-in calling exit(0) included) did not finish the work.
constexpr const char* kFinished = "\x1F" "finished";
// Exit code of a child whose work threw.
constexpr int kWorkThrew = 70;
// How much of the child's standard error is kept at its start and its end.
constexpr std::size_t kErrorHead = 2048;
constexpr std::size_t kErrorTail = 2048;

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

[[noreturn]] void RunChild(const std::function<void(Channel&)>& work, int out, int err) {
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    PipeChannel channel(out);
    int code = 0;
    try {
        work(channel);
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

std::string ChildOutcome::Describe(double timeLimitSeconds) const {
    char text[160];
    switch (end) {
        case End::Finished: return {};
        case End::Exited:
            if (code == kWorkThrew) return "the check itself failed with an exception";
            std::snprintf(text, sizeof(text), "ended the process with exit code %d", code);
            return text;
        case End::Signalled: {
            const char* name = strsignal(code);
            std::snprintf(text, sizeof(text), "crashed with signal %d (%s)", code, name != nullptr ? name : "unknown");
            return text;
        }
        case End::TimedOut:
            std::snprintf(text, sizeof(text), "did not finish within %g s", timeLimitSeconds);
            return text;
        case End::NotStarted: return "no child process could be started: " + output;
    }
    return {};
}

ChildOutcome RunInChild(const std::function<void(Channel&)>& work, double timeLimitSeconds) {
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
        RunChild(work, out[1], err[1]);
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
            const std::size_t head = std::min(size, kErrorHead - std::min(kErrorHead, outcome.errorsHead.size()));
            outcome.errorsHead.append(buffer, head);
            outcome.errors.append(buffer, size);
            if (outcome.errors.size() > 2 * kErrorTail) outcome.errors.erase(0, outcome.errors.size() - kErrorTail);
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
    if (outcome.errors.size() > kErrorTail) outcome.errors.erase(0, outcome.errors.size() - kErrorTail);

    const std::string marker = std::string(kFinished) + "\n";
    const bool finished = outcome.output.size() >= marker.size() &&
                          outcome.output.compare(outcome.output.size() - marker.size(), marker.size(), marker) == 0;
    if (finished) outcome.output.resize(outcome.output.size() - marker.size());
    if (timedOut) {
        outcome.end = ChildOutcome::End::TimedOut;
    } else if (WIFSIGNALED(status)) {
        outcome.end = ChildOutcome::End::Signalled;
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

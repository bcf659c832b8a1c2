#pragma once
// Running a piece of work in a child process with a time limit, so that a
// plug-in that crashes, ends the process or hangs is reported instead of
// taking the tool down with it.
#include <functional>
#include <string>

namespace Vorn::HostSimulator {

// Where the work writes what it finds, a line at a time. From a child each
// line reaches the parent as it is written, so the lines written before a
// crash say how far the work got.
class Channel {
public:
    virtual ~Channel() = default;
    virtual void Write(const std::string& line) = 0;
};

// Collects the lines in memory, for work run in the tool's own process.
class StringChannel : public Channel {
public:
    void Write(const std::string& line) override { text_ += line + "\n"; }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

struct ChildOutcome {
    enum class End {
        Finished,   // the work returned
        Exited,     // the process exited before the work returned
        Signalled,  // a signal ended it
        TimedOut,   // killed at the time limit
        NotStarted  // no child process could be made
    };
    End end = End::NotStarted;
    int code = 0;        // exit code or signal number
    std::string output;  // the lines the work wrote
    // The start and the end of what the child wrote to standard error: a
    // report's headline comes first, its last word last.
    std::string errorsHead;
    std::string errors;
    double seconds = 0;

    // "crashed with signal 11 (Segmentation fault)", "did not finish within
    // 10 s", ...; empty when the work finished.
    std::string Describe(double timeLimitSeconds) const;
};

// Runs work in a child process whose standard output is discarded and whose
// standard error is captured; the child is killed once timeLimitSeconds have
// passed. The child never returns from here: it ends when the work does.
ChildOutcome RunInChild(const std::function<void(Channel&)>& work, double timeLimitSeconds);

}  // namespace Vorn::HostSimulator

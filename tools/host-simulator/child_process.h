#pragma once
// Running a piece of work in a child process with a time limit, so that a
// plug-in that crashes, ends the process or hangs is reported instead of
// taking the tool down with it.
#include <cstddef>
#include <string>
#include <vector>

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

// The lines a work writes are "<key> <rest>": a text made one line (line
// breaks as spaces), and a line split back into its key and the rest.
std::string OneLine(std::string text);
struct KeyedLine {
    std::string key;
    std::string rest;
};
KeyedLine SplitKeyedLine(const std::string& line);

// A piece of work named with text arguments, not a closure: where the system
// has no fork (Windows) the child is a new run of the program, which finds
// the work again by its name.
struct ChildWork {
    std::string name;
    std::vector<std::string> arguments;
};

// Does the work in the calling process, writing to the channel; throws when
// it does not know the work.
using WorkPerformer = void (*)(const ChildWork& work, Channel& channel);

struct ChildOutcome {
    enum class End {
        Finished,   // the work returned
        Exited,     // the process exited before the work returned
        Crashed,    // a signal (POSIX) or an unhandled exception (Windows) ended it
        TimedOut,   // killed at the time limit
        NotStarted  // no child process could be made
    };
    End end = End::NotStarted;
    int code = 0;        // exit code, signal number or exception code
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

// Runs the work in a child process whose standard output is discarded and
// whose standard error is captured; the child is killed once
// timeLimitSeconds have passed. The child never returns from here: it ends
// when the work does.
ChildOutcome RunInChild(const ChildWork& work, WorkPerformer perform, double timeLimitSeconds);

// Where a child is a new run of the program (Windows), its main must call
// this before anything else: when the program was started to do one piece of
// work, it does the work and ends the process; otherwise it returns at once
// (and always does where children are forked).
void ServeChildWork(int argc, char** argv, WorkPerformer perform);

// --- shared by the platforms' implementations ---------------------------

namespace ChildProtocol {
// The child's last line when its work returned: anything else that ends the
// child (a plug-in calling exit(0) included) did not finish the work.
inline constexpr const char* kFinished = "\x1F" "finished";
// Exit code of a child whose work threw.
inline constexpr int kWorkThrew = 70;

// Keeps the start and the end of the child's standard error as it arrives.
void KeepErrors(ChildOutcome& outcome, const char* data, std::size_t size);
// Once the child has ended: keeps only the end of its standard error and
// takes the finishing line off the output; true when that line was there.
bool FinishOutput(ChildOutcome& outcome);
// The platform's words for a crash with this code.
std::string CrashText(int code);
}  // namespace ChildProtocol

}  // namespace Vorn::HostSimulator

#pragma once
// A simulated host for work that loads a plug-in under test, in a child
// process or, for a debugger, in the tool's own.
#include <cstdint>
#include <limits>
#include <string>

#include "host-simulator/child_process.h"
#include "host/simulated_host.h"

namespace Vorn::HostSimulator {

// Accepted by every plug-in of the platform's current major whatever its
// minor and patch, so that a plug-in of unknown version loads and tells its
// own.
inline Host::HostVersion ProbeHostVersion() {
    Host::HostVersion version;
    version.minor = std::numeric_limits<uint32_t>::max();
    version.patch = std::numeric_limits<uint32_t>::max();
    return version;
}

inline std::string HostVersionText(const Host::HostVersion& version) {
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." + std::to_string(version.patch);
}

// In a child it is never torn down: the child ends with the work, and tearing
// down would call into the plug-in after the work has said what it found. In
// the tool's own process the plug-in is started if it was not, since only its
// stop destroys it, then stopped and unloaded.
class IsolatedHost {
public:
    IsolatedHost(bool inProcess, Host::HostVersion version)
        : host_(new Host::SimulatedHost(version)), inProcess_(inProcess) {}
    ~IsolatedHost() {
        if (!inProcess_) return;
        if (host_->IsLoaded() && !host_->IsStarted()) host_->Start();
        delete host_;
    }
    IsolatedHost(const IsolatedHost&) = delete;
    IsolatedHost& operator=(const IsolatedHost&) = delete;

    Host::SimulatedHost* operator->() const { return host_; }
    Host::SimulatedHost& operator*() const { return *host_; }

private:
    Host::SimulatedHost* host_;
    bool inProcess_;
};

// Runs the work in a child process with the time limit, or here when
// inProcess (as if it had finished in a child).
ChildOutcome RunIsolated(const ChildWork& work, bool inProcess, double timeLimitSeconds);

// Does the named work of the validator's checks or of describe here; throws
// for a name neither knows.
void PerformWork(const ChildWork& work, bool inProcess, Channel& channel);

// First in the main of every program that validates or describes plug-ins
// (vorn-host, and the test program of its library): when the program was
// started as a child to do one piece of work (on Windows, which has no fork),
// does it and ends the process; otherwise returns at once.
void RunChildWorkIfAsked(int argc, char** argv);

}  // namespace Vorn::HostSimulator

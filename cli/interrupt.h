// Ctrl-C as the command line understands it: a long-running command (an upgrade, the
// virtual camera) is told, ends in an orderly way and exits with 128 + the signal. A second
// Ctrl-C (on POSIX systems, a second signal of any of the kinds caught) ends the process at
// once, for the case where the orderly way hangs.
#pragma once

#include <chrono>
#include <csignal>
#include <string_view>

namespace orvane {

// Catches SIGINT, SIGTERM and SIGHUP while it lives; restores the earlier handlers afterwards. One at
// a time per process.
// SIGHUP's number wherever there is one; Windows has no hang-up signal and never catches 1.
inline constexpr int hangUpSignal = 1;

class InterruptWatch {
  public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // The first signal caught, 0 while none.
    int signal() const;
    bool interrupted() const { return signal() != 0; }
    // Sleeps until a signal comes or the time is up; answers whether one has come. A signal
    // cuts short only the first wait after it: later ones sleep their time out.
    bool waitFor(std::chrono::milliseconds timeout) const;
    // 128 + the signal, as shells report a command ended by it.
    int exitStatus() const { return 128 + signal(); }
    // The signal's name (SIGINT, SIGTERM, SIGHUP), empty while none: what stopped the run, in
    // its result. Windows tells a closed console, log-off and shut-down as SIGTERM.
    std::string_view signalName() const {
        switch (signal()) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case hangUpSignal:
            return "SIGHUP";
        default:
            return "";
        }
    }
};

// A closed reader must not kill a running upgrade halfway: writes to a closed pipe fail
// with EPIPE instead of ending the process.
void ignoreBrokenPipes();

} // namespace orvane

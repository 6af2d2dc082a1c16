// Ctrl-C on Windows: a console control handler. It runs on a thread of its own that the
// system starts, so it only sets the flag and raises an event; the command ends in an orderly
// way (the camera is sent the abort frame). A second Ctrl-C is left to the system, which ends
// the process, for the case where the orderly way hangs.
// A closed console window, a log-off or a shut-down end the process as soon as the handler
// returns, so for those the handler waits until the watch has ended (every job ended in order,
// its abort frame sent), within the few seconds the system grants before it ends the process
// anyway.
#include "cli/interrupt.h"

#include <windows.h>

#include <atomic>
#include <csignal>

namespace orvane {
namespace {

std::atomic<int> caughtSignal{0};
// Lives as long as the process: a handler still running after a watch has ended must find it.
// Reset by the wait that sees it, so later waits sleep their time out instead of spinning.
HANDLE wakeEvent() {
    static const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return event;
}
// Raised when a watch ends; lowered when one begins.
HANDLE endedEvent() {
    static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

// The system ends a process 5 s after a close event (the default of HungAppTimeout); log-off
// and shut-down grant about as long to console programs. Leave the system a margin.
constexpr DWORD orderlyEndLimitMs = 4500;

bool endsTheProcessOnReturn(DWORD type) {
    return type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT;
}

BOOL WINAPI onControl(DWORD type) {
    // Ctrl-C reads as SIGINT and the console's other endings as SIGTERM, so the exit status
    // is the one shells report on Linux.
    const int signo = type == CTRL_C_EVENT ? SIGINT : SIGTERM;
    int expected = 0;
    const bool first = caughtSignal.compare_exchange_strong(expected, signo);
    if (first) {
        SetEvent(wakeEvent());
    }
    // A window closed after a Ctrl-C waits too: the orderly end that the Ctrl-C began must
    // not be cut short by the close.
    if (endsTheProcessOnReturn(type)) {
        (void)WaitForSingleObject(endedEvent(), orderlyEndLimitMs);
        return TRUE;
    }
    return first ? TRUE : FALSE;
}

} // namespace

InterruptWatch::InterruptWatch() {
    caughtSignal.store(0);
    ResetEvent(wakeEvent());
    ResetEvent(endedEvent());
    SetConsoleCtrlHandler(onControl, TRUE);
}

InterruptWatch::~InterruptWatch() {
    SetConsoleCtrlHandler(onControl, FALSE);
    SetEvent(endedEvent());
}

int InterruptWatch::signal() const {
    return caughtSignal.load();
}

bool InterruptWatch::waitFor(std::chrono::milliseconds timeout) const {
    const auto ms = timeout.count() < 0 ? 0 : timeout.count();
    (void)WaitForSingleObject(wakeEvent(),
                              ms >= static_cast<long long>(INFINITE) ? INFINITE - 1 : static_cast<DWORD>(ms));
    return interrupted();
}

void ignoreBrokenPipes() {
    // Windows has no SIGPIPE: a write to a closed pipe fails with an error of its own.
}

} // namespace orvane

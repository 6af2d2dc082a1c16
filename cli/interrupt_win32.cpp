// Ctrl-C on Windows: a console control handler. It runs on a thread of its own that the
// system starts, so it only sets the flag and raises an event; the command ends in an orderly
// way (the camera is sent the abort frame). A second Ctrl-C is left to the system, which ends
// the process, for the case where the orderly way hangs.
#include "cli/interrupt.h"

#include <windows.h>

#include <atomic>
#include <csignal>

namespace orvane {
namespace {

std::atomic<int> caughtSignal{0};
// Lives as long as the process: a handler still running after a watch has ended must find it.
HANDLE wakeEvent() {
    static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

BOOL WINAPI onControl(DWORD type) {
    // Ctrl-C reads as SIGINT and the console's other endings as SIGTERM, so the exit status
    // is the one shells report on Linux.
    const int signo = type == CTRL_C_EVENT ? SIGINT : SIGTERM;
    int expected = 0;
    if (!caughtSignal.compare_exchange_strong(expected, signo)) {
        return FALSE;
    }
    SetEvent(wakeEvent());
    return TRUE;
}

} // namespace

InterruptWatch::InterruptWatch() {
    caughtSignal.store(0);
    ResetEvent(wakeEvent());
    SetConsoleCtrlHandler(onControl, TRUE);
}

InterruptWatch::~InterruptWatch() {
    SetConsoleCtrlHandler(onControl, FALSE);
}

int InterruptWatch::signal() const {
    return caughtSignal.load();
}

bool InterruptWatch::waitFor(std::chrono::milliseconds timeout) const {
    if (interrupted()) {
        return true;
    }
    const auto ms = timeout.count() < 0 ? 0 : timeout.count();
    (void)WaitForSingleObject(wakeEvent(),
                              ms >= static_cast<long long>(INFINITE) ? INFINITE - 1 : static_cast<DWORD>(ms));
    return interrupted();
}

void ignoreBrokenPipes() {
    // Windows has no SIGPIPE: a write to a closed pipe fails with an error of its own.
}

} // namespace orvane

#include "cli/interrupt.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace orvane {
namespace {

static_assert(SIGHUP == hangUpSignal, "the name of a hang-up follows its number");

std::atomic<int> caughtSignal{0};
// The wake-up pipe lives as long as the process: a handler running on another thread may
// still write to it after a watch has ended, and must never hit a descriptor number that has
// been handed out again.
std::atomic<int> wakeRead{-1};
std::atomic<int> wakeWrite{-1};
struct sigaction previousInt {};
struct sigaction previousTerm {};
struct sigaction previousHangUp {};

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void onInterrupt(int signo) {
    const int savedErrno = errno;
    int expected = 0;
    if (!caughtSignal.compare_exchange_strong(expected, signo)) {
        // A second signal, of whatever kind: the orderly end may be what hangs. Its delivery
        // has put this signal back to its default, so raising it again ends the process.
        (void)raise(signo);
        errno = savedErrno;
        return;
    }
    if (const int fd = wakeWrite.load(); fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto written = write(fd, &byte, 1);
    }
    errno = savedErrno;
}

// Creates the pipe once; later watches empty it of wake-ups meant for an earlier one.
void prepareWakePipe() {
    static const bool created = [] {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            return false;
        }
        wakeRead.store(fds[0]);
        wakeWrite.store(fds[1]);
        return true;
    }();
    if (created) {
        char stale[64];
        while (read(wakeRead.load(), stale, sizeof stale) > 0) {
        }
    }
}

} // namespace

InterruptWatch::InterruptWatch() {
    caughtSignal.store(0);
    prepareWakePipe();
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // The first signal is ours. Each signal's delivery reverts it to the default, and the
    // handler ends the process on any later one, so a second signal of any of the three ends
    // it even if the orderly end is stuck.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
    // A lost SSH session or a closed terminal window must not leave cameras in their boot
    // loader: a hang-up ends the jobs as SIGTERM does.
    sigaction(SIGHUP, &action, &previousHangUp);
}

InterruptWatch::~InterruptWatch() {
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
    sigaction(SIGHUP, &previousHangUp, nullptr);
}

int InterruptWatch::signal() const {
    return caughtSignal.load();
}

bool InterruptWatch::waitFor(std::chrono::milliseconds timeout) const {
    const int fd = wakeRead.load();
    if (fd < 0) {
        // No descriptors were left for the pipe: sleep in short slices instead, so a signal
        // handled on another thread is still seen soon and the caller's loop never spins.
        constexpr std::chrono::milliseconds slice{50};
        (void)poll(nullptr, 0, static_cast<int>(std::min(timeout, slice).count()));
        return interrupted();
    }
    pollfd wake{fd, POLLIN, 0};
    const int rc = poll(&wake, 1, static_cast<int>(timeout.count()));
    (void)rc; // EINTR, a wake-up or the time-out: the flag tells which.
    // The wake-up is taken: later waits sleep their time out, so a caller that goes on
    // waiting for its jobs after acting on the signal does not spin.
    char taken[8];
    while (read(fd, taken, sizeof taken) > 0) {
    }
    return interrupted();
}

void ignoreBrokenPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace orvane

#include "cli/interrupt.h"

#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace orvane {
namespace {

std::atomic<int> caughtSignal{0};
int wakeRead = -1;
int wakeWrite = -1;
struct sigaction previousInt {};
struct sigaction previousTerm {};

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void onInterrupt(int signo) {
    const int savedErrno = errno;
    int expected = 0;
    caughtSignal.compare_exchange_strong(expected, signo);
    if (wakeWrite >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto written = write(wakeWrite, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

InterruptWatch::InterruptWatch() {
    caughtSignal.store(0);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead = fds[0];
        wakeWrite = fds[1];
    }
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // The first signal is ours; the handler then reverts to the default, so a second one
    // ends the process even if the orderly end is stuck.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
}

InterruptWatch::~InterruptWatch() {
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
    if (wakeRead >= 0) {
        close(wakeRead);
        close(wakeWrite);
        wakeRead = wakeWrite = -1;
    }
}

int InterruptWatch::signal() const {
    return caughtSignal.load();
}

bool InterruptWatch::waitFor(std::chrono::milliseconds timeout) const {
    if (interrupted() || wakeRead < 0) {
        return interrupted();
    }
    pollfd wake{wakeRead, POLLIN, 0};
    const int rc = poll(&wake, 1, static_cast<int>(timeout.count()));
    (void)rc; // EINTR, a wake-up or the time-out: the flag tells which.
    return interrupted();
}

void ignoreBrokenPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace orvane

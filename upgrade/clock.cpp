#include "upgrade/clock.h"

#include <thread>

namespace orvane {

bool Clock::sleepUnlessWoken(std::chrono::milliseconds duration, const std::stop_token& stop,
                             FlagSignal& signal, const std::function<bool()>& woken) {
    // No stop callback rings here: one destroyed while the stopping thread still runs it is
    // waited for on a semaphore whose wake-up GCC 12's library can lose where it has no futex
    // (Windows), which hung a program at exit. The stopper rings instead.
    waitAtMost([&] { return stop.stop_requested() || woken(); }, duration, signal);
    return !stop.stop_requested();
}

void SystemClock::sleepFor(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

std::chrono::steady_clock::time_point SystemClock::now() const {
    return std::chrono::steady_clock::now();
}

bool SystemClock::waitAtMost(const std::function<bool()>& met, std::chrono::milliseconds timeout,
                             FlagSignal& signal) {
    return signal.waitFor(met, timeout);
}

} // namespace orvane

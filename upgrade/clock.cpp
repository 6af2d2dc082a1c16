#include "upgrade/clock.h"

#include <thread>

namespace orvane {

bool Clock::sleepUnlessWoken(std::chrono::milliseconds duration, const std::stop_token& stop,
                             FlagSignal& signal, const std::function<bool()>& woken) {
    // The stop request rings as well, so it ends this sleep as it ends sleepUnlessStopped.
    const std::stop_callback ringOnStop(stop, [&signal] { signal.ring(); });
    waitAtMost([&] { return stop.stop_requested() || woken(); }, duration, signal);
    return !stop.stop_requested();
}

void SystemClock::sleepFor(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

std::chrono::steady_clock::time_point SystemClock::now() const {
    return std::chrono::steady_clock::now();
}

bool SystemClock::sleepUnlessStopped(std::chrono::milliseconds duration, const std::stop_token& stop) {
    std::unique_lock lock(wakeMutex_);
    // The predicate is false on purpose: only the stop request or the time ends the wait.
    wake_.wait_for(lock, stop, duration, [] { return false; });
    return !stop.stop_requested();
}

bool SystemClock::waitAtMost(const std::function<bool()>& met, std::chrono::milliseconds timeout,
                             FlagSignal& signal) {
    return signal.waitFor(met, timeout);
}

} // namespace orvane

#include "upgrade/clock.h"

#include <thread>

namespace orvane {

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

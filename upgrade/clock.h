// Time as the upgrade job and the reply receiver see it. Injected so that tests can run
// ten-second protocol limits in microseconds.
#pragma once

#include "upgrade/flag_signal.h"

#include <chrono>
#include <functional>
#include <stop_token>

namespace orvane {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual void sleepFor(std::chrono::milliseconds duration) = 0;
    virtual std::chrono::steady_clock::time_point now() const = 0;

    // Sleeps like sleepFor but wakes early once stop is requested, so a background thread
    // can be ended without waiting out its pause. Answers false when stop was requested.
    virtual bool sleepUnlessStopped(std::chrono::milliseconds duration, const std::stop_token& stop) {
        if (stop.stop_requested()) {
            return false;
        }
        sleepFor(duration);
        return !stop.stop_requested();
    }

    // Sleeps like sleepUnlessStopped, and also ends early once woken() holds or stop is
    // requested, tested at the start and whenever signal is rung: whoever requests the stop
    // rings signal after it. Answers false when stop was requested.
    virtual bool sleepUnlessWoken(std::chrono::milliseconds duration, const std::stop_token& stop,
                                  FlagSignal& signal, const std::function<bool()>& woken);

    // Waits at most timeout for met() to hold, testing it at the start and whenever signal is
    // rung; answers met(). Never polls: between rings the thread sleeps.
    virtual bool waitAtMost(const std::function<bool()>& met, std::chrono::milliseconds timeout,
                            FlagSignal& signal) = 0;
};

// The monotonic clock of the machine.
class SystemClock final : public Clock {
  public:
    void sleepFor(std::chrono::milliseconds duration) override;
    std::chrono::steady_clock::time_point now() const override;
    bool waitAtMost(const std::function<bool()>& met, std::chrono::milliseconds timeout,
                    FlagSignal& signal) override;
};

} // namespace orvane

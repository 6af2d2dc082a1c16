// Time as the upgrade job and the reply receiver see it. Injected so that tests can run
// ten-second protocol limits in microseconds.
#pragma once

#include <chrono>

namespace orvane {

class Clock {
public:
    virtual ~Clock() = default;
    virtual void sleepFor(std::chrono::milliseconds duration) = 0;
    virtual std::chrono::steady_clock::time_point now() const = 0;
};

// The monotonic clock of the machine.
class SystemClock final : public Clock {
public:
    void sleepFor(std::chrono::milliseconds duration) override;
    std::chrono::steady_clock::time_point now() const override;
};

} // namespace orvane

// The transmitter wait: a short poll, bounded by what the UART can hold.
#include "serial/transmitter_wait.h"

#include "serial/port_timing.h"

#include <thread>

namespace orvane {

namespace {

using namespace std::chrono_literals;

constexpr auto transmitterPollInterval = 1ms;

} // namespace

void waitForTransmitter(const TransmitterProbe& probe, int lineSpeed) {
    const Deadline limit =
        Deadline::after(wireTime(transmitterHoldBytes, lineSpeed) + transmitterPollInterval);
    for (std::optional<bool> empty = probe(); empty && !*empty && !limit.passed(); empty = probe()) {
        std::this_thread::sleep_for(transmitterPollInterval);
    }
}

} // namespace orvane

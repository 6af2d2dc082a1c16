// What the serial driver adds to a reply's way in, and what may be asked of it. Kept apart
// because the request is Linux's own (the serial driver's low-latency flag).
#pragma once

#include <optional>

namespace orvane {

struct DriverLatencyRequest {
    bool granted = false;       // the driver hands bytes on at once now
    std::optional<int> restore; // its flags before, when this request changed them
};

// Asks the driver of the open port fd to hand received bytes on at once, where it supports
// it (8250 UARTs; ftdi_sio then runs its latency timer at 1 ms). A refusal is no error.
DriverLatencyRequest requestDriverLowLatency(int fd);
// Gives the driver back the low-latency setting it had before the request.
void restoreDriverFlags(int fd, int flags);

} // namespace orvane

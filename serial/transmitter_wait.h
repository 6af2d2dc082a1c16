// The wait for the last bytes a UART itself still holds once its driver's queue is empty (its
// transmit FIFO and shift register). They must be on the wire before the line changes speed,
// or they go out garbled; but a transmitter that never reports empty must not hold a close up
// for longer than those few bytes can take.
#pragma once

#include <functional>
#include <optional>

namespace orvane {

// What the driver says of its transmitter: true when empty, false while it still sends,
// nothing when it cannot tell.
using TransmitterProbe = std::function<std::optional<bool>()>;

// A 16550's transmit FIFO and its shift register.
inline constexpr int transmitterHoldBytes = 17;

// Asks probe until it answers true or nothing, for at most the wire time of
// transmitterHoldBytes at lineSpeed bit/s (ten bits a byte) and one poll interval more.
void waitForTransmitter(const TransmitterProbe& probe, int lineSpeed);

} // namespace orvane

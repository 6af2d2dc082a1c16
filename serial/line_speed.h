// The line speed of a serial device, any rate in bits per second. Kept apart because Linux
// offers arbitrary rates only through its termios2 interface, whose header cannot share a file
// with <termios.h>.
#pragma once

#include <optional>

namespace orvane {

// Asks the driver for baudRate bits per second on both directions; other line settings stay.
// A rate of 0 or below is refused here and never reaches the driver: 0 would mean "hang up".
// Answers the rate the driver kept afterwards (which may differ from the one asked for, when
// the driver rounds or refuses), or nothing when fd is not a terminal.
std::optional<int> applyLineSpeed(int fd, int baudRate);

// The output speed the terminal fd currently runs at, in bits per second, or nothing when fd
// is not a terminal. On a pseudo-terminal master this is the speed set on its slave.
std::optional<int> lineSpeedOf(int fd);

} // namespace orvane

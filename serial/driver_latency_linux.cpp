// The serial driver's low-latency flag through TIOCGSERIAL and TIOCSSERIAL; see driver_latency.h.
#include "serial/driver_latency.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

namespace orvane {

DriverLatencyRequest requestDriverLowLatency(int fd) {
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0) {
        return {};
    }
    if ((info.flags & ASYNC_LOW_LATENCY) != 0) {
        return {true, std::nullopt};
    }
    const int before = info.flags;
    info.flags |= ASYNC_LOW_LATENCY;
    if (::ioctl(fd, TIOCSSERIAL, &info) != 0) {
        return {};
    }
    // Some drivers answer success and keep their flags: only a flag that stuck counts.
    serial_struct now{};
    if (::ioctl(fd, TIOCGSERIAL, &now) != 0 || (now.flags & ASYNC_LOW_LATENCY) == 0) {
        return {};
    }
    return {true, before};
}

void restoreDriverFlags(int fd, int flags) {
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0) {
        return;
    }
    info.flags = (info.flags & ~ASYNC_LOW_LATENCY) | (flags & ASYNC_LOW_LATENCY);
    (void)::ioctl(fd, TIOCSSERIAL, &info);
}

} // namespace orvane

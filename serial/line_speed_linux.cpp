// Line speeds through termios2 and BOTHER, so that rates such as 250000 work as well as the
// standard ones. This file must not include <termios.h>: <asm/termbits.h> defines the
// kernel's own struct termios and the two clash.
#include "serial/line_speed.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>
#include <climits>

// <sys/ioctl.h> would pull in glibc's terminal types again; the one declaration is enough.
extern "C" int ioctl(int fd, unsigned long request, ...) noexcept;

namespace orvane {
namespace {

std::optional<termios2> currentSettings(int fd) {
    termios2 settings{};
    if (ioctl(fd, TCGETS2, &settings) != 0) return std::nullopt;
    return settings;
}

} // namespace

std::optional<int> lineSpeedOf(int fd) {
    const auto settings = currentSettings(fd);
    if (!settings) return std::nullopt;
    if (settings->c_ospeed > static_cast<speed_t>(INT_MAX)) return INT_MAX;
    return static_cast<int>(settings->c_ospeed);
}

std::optional<int> applyLineSpeed(int fd, int baudRate) {
    auto settings = currentSettings(fd);
    if (!settings) return std::nullopt;
    if (baudRate > 0) {
        // BOTHER takes the rate from c_ispeed/c_ospeed; the kernel maps standard values back
        // to their B-constants. Input speed 0 in CIBAUD means "same as output".
        settings->c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
        settings->c_cflag |= BOTHER;
        settings->c_ospeed = static_cast<speed_t>(baudRate);
        settings->c_ispeed = static_cast<speed_t>(baudRate);
        // A refusal leaves the driver at the speed it had; lineSpeedOf tells which.
        (void)ioctl(fd, TCSETS2, &*settings);
    }
    return lineSpeedOf(fd);
}

} // namespace orvane

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

struct StandardRate {
    int bitsPerSecond;
    tcflag_t code;
};

// The rates termios has a constant for. Set through their constant, so that every other tool
// (stty, the driver's own rounding) sees the familiar value; any other rate goes as BOTHER.
constexpr StandardRate standardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

tcflag_t speedCodeOf(int baudRate) {
    for (const StandardRate& rate : standardRates)
        if (rate.bitsPerSecond == baudRate)
            return rate.code;
    return BOTHER;
}

std::optional<termios2> currentSettings(int fd) {
    termios2 settings{};
    if (ioctl(fd, TCGETS2, &settings) != 0)
        return std::nullopt;
    return settings;
}

} // namespace

std::optional<int> lineSpeedOf(int fd) {
    const auto settings = currentSettings(fd);
    if (!settings)
        return std::nullopt;
    if (settings->c_ospeed > static_cast<speed_t>(INT_MAX))
        return INT_MAX;
    return static_cast<int>(settings->c_ospeed);
}

std::optional<int> applyLineSpeed(int fd, int baudRate) {
    auto settings = currentSettings(fd);
    if (!settings)
        return std::nullopt;
    if (baudRate > 0) {
        // With BOTHER the kernel takes the rate from c_ospeed. Input speed B0 in CIBAUD means
        // "same as output"; it never touches the output speed, so the line stays up.
        settings->c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
        settings->c_cflag |= speedCodeOf(baudRate);
        settings->c_ospeed = static_cast<speed_t>(baudRate);
        settings->c_ispeed = static_cast<speed_t>(baudRate);
        // A refusal leaves the driver at the speed it had; lineSpeedOf tells which.
        (void)ioctl(fd, TCSETS2, &*settings);
    }
    return lineSpeedOf(fd);
}

} // namespace orvane

// The raw, eight-bit transparent line the upgrade protocol needs, as termios settings.
#include "serial/raw_line_posix.h"

namespace orvane {

void makeTransparent(termios& settings, int parity, int byteSize, int stopBits) {
    settings.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                               IUCLC | IXON | IXOFF | IXANY | IMAXBEL | INPCK);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOPRT | ECHOKE |
                                               ICANON | ISIG | IEXTEN);
    settings.c_cflag |= CREAD | CLOCAL;
    settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;

    constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if (byteSize >= 5 && byteSize <= 8) {
        settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
        settings.c_cflag |= sizes[byteSize - 5];
    }

    constexpr tcflag_t parityBits = PARENB | PARODD | CMSPAR;
    constexpr tcflag_t parities[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD, PARENB | CMSPAR};
    if (parity >= 0 && parity <= 4) {
        settings.c_cflag &= ~parityBits;
        settings.c_cflag |= parities[parity];
    }

    // Termios knows one or two stop bits; with five data bits the UART makes two into one and
    // a half, which is what code 1 asks for.
    if (stopBits == 0)
        settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    if (stopBits == 1 || stopBits == 2)
        settings.c_cflag |= CSTOPB;

    // Writing back a speed of 0 would hang the line up; a port found that way gets 9600 until
    // the caller's speed is applied.
    if (cfgetospeed(&settings) == B0)
        cfsetospeed(&settings, B9600);
}

} // namespace orvane

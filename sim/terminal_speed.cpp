// Reads a terminal's line speed with TCGETS2, which gives any rate a host may have set
// (BOTHER included) as a plain number. Kept apart because the kernel's termios header
// cannot be mixed with the C library's.
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace orvane {

int terminalSpeedOf(int fd) {
    struct termios2 settings {};
    if (::ioctl(fd, TCGETS2, &settings) != 0) {
        return 0;
    }
    return static_cast<int>(settings.c_ospeed);
}

} // namespace orvane

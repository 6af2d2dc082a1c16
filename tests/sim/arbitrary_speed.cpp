// Sets any line speed with TCSETS2 (BOTHER). Apart from plain_host.cpp because the kernel's
// termios header cannot be mixed with the C library's.
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace orvane::test {

bool setSpeedWithTermios2(int fd, int speed) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) {
        return false;
    }
    t.c_cflag &= ~static_cast<unsigned>(CBAUD);
    t.c_cflag |= BOTHER;
    t.c_ispeed = static_cast<unsigned>(speed);
    t.c_ospeed = static_cast<unsigned>(speed);
    return ::ioctl(fd, TCSETS2, &t) == 0;
}

} // namespace orvane::test

// The camera's pseudo-terminal pair; see pseudo_terminal.h.
#include "sim/pseudo_terminal.h"

#include "serial/line_speed.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace orvane {
namespace {

std::string failure(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

PseudoTerminal::PseudoTerminal(PseudoTerminal&& other) noexcept
    : master_(std::exchange(other.master_, -1)), slaveKeeper_(std::exchange(other.slaveKeeper_, -1)),
      slavePath_(std::move(other.slavePath_)) {}

PseudoTerminal& PseudoTerminal::operator=(PseudoTerminal&& other) noexcept {
    if (this != &other) {
        close();
        master_ = std::exchange(other.master_, -1);
        slaveKeeper_ = std::exchange(other.slaveKeeper_, -1);
        slavePath_ = std::move(other.slavePath_);
    }
    return *this;
}

PseudoTerminal::~PseudoTerminal() {
    close();
}

bool PseudoTerminal::open(int initialSpeed, std::string& error) {
    close();
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        error = failure("cannot create a pseudo-terminal");
        return false;
    }
    char name[128];
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0) {
        error = failure("cannot set up the pseudo-terminal");
        ::close(master);
        return false;
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        error = failure("cannot open the pseudo-terminal's device");
        ::close(master);
        return false;
    }
    // Raw, so that no byte is translated on either side; the settings of a pty pair live
    // on the slave and the master's calls reach them.
    termios settings{};
    if (::tcgetattr(master, &settings) == 0) {
        ::cfmakeraw(&settings);
        settings.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(master, TCSANOW, &settings);
    }
    // Any rate, set the way the serial layer sets its own ports.
    applyLineSpeed(master, initialSpeed);
    const int flags = ::fcntl(master, F_GETFL);
    ::fcntl(master, F_SETFL, flags | O_NONBLOCK);
    master_ = master;
    slaveKeeper_ = slave;
    slavePath_ = name;
    return true;
}

void PseudoTerminal::close() {
    if (slaveKeeper_ >= 0) {
        ::close(slaveKeeper_);
        slaveKeeper_ = -1;
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

int PseudoTerminal::discardUnread() {
    int unread = 0;
    if (slaveKeeper_ >= 0) {
        (void)::ioctl(slaveKeeper_, FIONREAD, &unread);
        ::tcflush(slaveKeeper_, TCIFLUSH);
    }
    return unread;
}

int PseudoTerminal::hostSpeed() const {
    return master_ >= 0 ? lineSpeedOf(master_).value_or(0) : 0;
}

} // namespace orvane

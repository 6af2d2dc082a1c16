// The test host's port handling with termios.
#include "plain_host.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace orvane::test {
namespace {

speed_t speedConstant(int speed) {
    switch (speed) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B9600;
    }
}

} // namespace

bool setSpeedWithTermios2(int fd, int speed); // arbitrary_speed.cpp

PlainHost::~PlainHost() {
    close();
}

bool PlainHost::open(const std::string& path, int speed) {
    close();
    path_ = path;
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) {
        return false;
    }
    termios t{};
    ::tcgetattr(fd_, &t);
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&t, speedConstant(speed));
    ::cfsetospeed(&t, speedConstant(speed));
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) {
        return false;
    }
    // Rates the table lacks (230400 and up) as the kernel's arbitrary rate.
    return speed == 9600 || speedConstant(speed) != B9600 || setSpeedWithTermios2(fd_, speed);
}

bool PlainHost::reopen(int speed) {
    const std::string path = path_;
    return open(path, speed);
}

void PlainHost::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool PlainHost::setArbitrarySpeed(int speed) {
    return setSpeedWithTermios2(fd_, speed);
}

void PlainHost::write(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const auto n = ::write(fd_, bytes.data(), bytes.size());
        if (n <= 0) {
            return;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
}

std::vector<std::uint8_t> PlainHost::read(std::size_t count, std::chrono::milliseconds timeout) {
    std::vector<std::uint8_t> got;
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (got.size() < count) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0 || (p.revents & POLLIN) == 0) {
            break;
        }
        std::uint8_t buffer[256];
        const auto n = ::read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
        if (n <= 0) {
            break;
        }
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

std::vector<std::uint8_t> PlainHost::readFor(std::chrono::milliseconds time) {
    return read(1 << 20, time);
}

std::vector<std::uint8_t> bytesOf(const ShortFrame& frame) {
    return {frame.begin(), frame.end()};
}

} // namespace orvane::test

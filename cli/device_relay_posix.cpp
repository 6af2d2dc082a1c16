// The relay between a terminal device and the camera's pseudo-terminal; see device_relay.h.
#include "cli/device_relay.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace orvane {
namespace {

// How often a device that hung up is tried again.
constexpr int reopenIntervalMs = 100;

// Raw, so that every byte passes as it is; reads answer as soon as one byte is there.
int openRaw(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    termios settings{};
    if (::tcgetattr(fd, &settings) == 0) {
        ::cfmakeraw(&settings);
        settings.c_cflag |= CLOCAL | CREAD;
        settings.c_cc[VMIN] = 1;
        settings.c_cc[VTIME] = 0;
        ::tcsetattr(fd, TCSANOW, &settings);
    }
    return fd;
}

bool writeAll(int fd, const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(fd, bytes, count);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

// Moves what one end has to the other; false when the source hung up or failed.
bool pass(int from, int to) {
    std::array<std::uint8_t, 4096> buffer{};
    const ssize_t n = ::read(from, buffer.data(), buffer.size());
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
        return true;
    }
    if (n <= 0) {
        return false;
    }
    // Bytes the other end cannot take are lost, as on a line whose far end is gone.
    (void)writeAll(to, buffer.data(), static_cast<std::size_t>(n));
    return true;
}

} // namespace

DeviceRelay::~DeviceRelay() {
    stop();
}

bool DeviceRelay::start(const std::string& device, const std::string& camera, std::string& error) {
    devicePath_ = device;
    device_ = openRaw(device);
    if (device_ < 0) {
        error = "cannot open " + device + ": " + std::strerror(errno);
        return false;
    }
    camera_ = openRaw(camera);
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (camera_ < 0 || wake_ < 0) {
        error = "cannot reach the camera's own device " + camera + ": " + std::strerror(errno);
        stop();
        return false;
    }
    thread_ = std::thread([this] { run(); });
    return true;
}

void DeviceRelay::stop() {
    stopping_ = true;
    if (wake_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(wake_, &one, sizeof one);
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    for (int* fd : {&device_, &camera_, &wake_}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

void DeviceRelay::run() {
    while (!stopping_) {
        std::array<pollfd, 3> fds{{{wake_, POLLIN, 0}, {camera_, POLLIN, 0}, {device_, POLLIN, 0}}};
        // Without the device only the camera's bytes are taken (and lost) and the wake-up heard.
        const int ready = ::poll(fds.data(), device_ >= 0 ? 3 : 2, device_ >= 0 ? -1 : reopenIntervalMs);
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (fds[0].revents != 0) {
            return;
        }
        if (fds[1].revents != 0 && !pass(camera_, device_)) {
            return; // the camera's own pseudo-terminal failed: the camera has stopped
        }
        if (device_ < 0) {
            (void)reopenDevice();
        } else if (fds[2].revents != 0 && !pass(device_, camera_)) {
            ::close(device_);
            device_ = -1;
            note_("the device " + devicePath_ + " hung up");
        }
    }
}

bool DeviceRelay::reopenDevice() {
    device_ = openRaw(devicePath_);
    if (device_ >= 0) {
        note_("the device " + devicePath_ + " is back");
    }
    return device_ >= 0;
}

} // namespace orvane

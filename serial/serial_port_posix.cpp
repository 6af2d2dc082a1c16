// SerialPort's system calls on POSIX termios (Linux). The device is kept in non-blocking mode
// and every wait goes through ppoll on two descriptors: the device and an eventfd that a
// close raises, so a close never has to wait for a read's time limit. Time limits are in
// port_timing.h.
#include "serial/device_identity.h"
#include "serial/driver_latency.h"
#include "serial/held_devices.h"
#include "serial/line_speed.h"
#include "serial/port_details.h"
#include "serial/port_name.h"
#include "serial/port_timing.h"
#include "serial/raw_line_posix.h"
#include "serial/serial_port_backend.h"
#include "serial/transmitter_wait.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace orvane::port_backend {
namespace {

using namespace std::chrono_literals;

// How often a write looks whether the driver has sent everything.
constexpr auto drainPollInterval = 1ms;

int fdOf(Handle handle) {
    return static_cast<int>(handle);
}

// The device the open descriptor reaches: for /dev/tty and /dev/console the terminal behind
// them (TIOCGDEV), which fstat would not tell.
DeviceIdentity identityOfOpen(int fd, const struct stat& status) {
    unsigned int encoded = 0;
    if (::ioctl(fd, TIOCGDEV, &encoded) == 0) {
        const unsigned int major = (encoded >> 8) & 0xFFFU;
        const unsigned int minor = (encoded & 0xFFU) | ((encoded >> 12) & 0xFFF00U);
        return DeviceIdentity{true, makedev(major, minor), 0};
    }
    return DeviceIdentity{true, status.st_rdev, 0};
}

// Opens the device for exclusive use. Answers the descriptor, or -1 with err set.
int openExclusive(const std::string& path, int& err) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        err = errno;
        return -1;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode) || ::isatty(fd) == 0) {
        ::close(fd);
        err = ENOTTY;
        return -1;
    }
    // TIOCEXCL turns away other opens, but not root's; the lock turns away every other open
    // of this node that asks for it, this program's included, whoever runs it; the claim,
    // this process's opens of the same device under another node. Both before TIOCEXCL: the
    // flag belongs to the device, and the holder's would be cleared by our release.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        err = EBUSY;
        return -1;
    }
    if (!claimDevice(identityOfOpen(fd, status), fd)) {
        ::close(fd);
        err = EBUSY;
        return -1;
    }
    (void)::ioctl(fd, TIOCEXCL);
    return fd;
}

// Answers the line speed the port runs at afterwards, 0 when unknown.
int configureLine(int fd, const LineSettings& line) {
    // The driver's refusals are not examined: the port then runs with what it kept.
    termios settings{};
    if (::tcgetattr(fd, &settings) == 0) {
        makeTransparent(settings, line.parity, line.byteSize, line.stopBits);
        (void)::tcsetattr(fd, TCSANOW, &settings);
    }
    return applyLineSpeed(fd, line.baudRate).value_or(0);
}

timespec toTimespec(TransferClock::duration duration) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(duration - seconds);
    return timespec{static_cast<time_t>(seconds.count()), static_cast<long>(nanoseconds.count())};
}

// What a write sees when the device has been unplugged or its other side has hung up.
bool isDeviceGoneError(int err) {
    return err == EIO || err == ENXIO || err == ENODEV || err == EPIPE;
}

enum class WaitResult { ready, hungUp, woken, timedOut };

// Waits until device shows events, the device hangs up, wake is raised, or deadline passes.
// A device of -1 is ignored by ppoll, which makes this a plain interruptible sleep.
WaitResult waitFor(int device, short events, int wake, Deadline deadline) {
    pollfd fds[2] = {{wake, POLLIN, 0}, {device, events, 0}};
    while (true) {
        const timespec left = toTimespec(deadline.remaining());
        const int ready = ::ppoll(fds, 2, &left, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return WaitResult::timedOut;
        }
        if (fds[0].revents != 0)
            return WaitResult::woken;
        if ((fds[1].revents & events) != 0)
            return WaitResult::ready;
        if (fds[1].revents != 0)
            return WaitResult::hungUp;
        if (deadline.passed())
            return WaitResult::timedOut;
    }
}

// Bytes still in the driver's transmit queue, or nothing when it cannot tell.
std::optional<int> queuedOutput(int device) {
    int queued = 0;
    return ::ioctl(device, TIOCOUTQ, &queued) == 0 ? std::optional<int>(queued) : std::nullopt;
}

// Waits until the driver's transmit queue is empty. What the UART itself still holds is left
// to the release: it matters only before a speed change, and a transmitter that never reports
// empty would make every write wait out its whole limit.
void waitUntilQueueEmpty(int device, int wake, Deadline limit) {
    while (queuedOutput(device).value_or(0) != 0 && !limit.passed()) {
        if (waitFor(-1, 0, wake, earliest(limit, Deadline::after(drainPollInterval))) == WaitResult::woken)
            return;
    }
}

void waitForUart(int device, int lineSpeed) {
    if (queuedOutput(device) != 0) {
        return; // bytes still queued, which the driver's close waits for, or it cannot tell
    }
    waitForTransmitter(
        [device]() -> std::optional<bool> {
            unsigned int lineStatus = 0;
            if (::ioctl(device, TIOCSERGETLSR, &lineStatus) != 0)
                return std::nullopt;
            return (lineStatus & TIOCSER_TEMT) != 0;
        },
        lineSpeed);
}

} // namespace

OpenedDevice openDevice(std::string_view name, const LineSettings& line, ReadMode mode) {
    OpenedDevice opened;
    const std::string path = devicePathOf(name);
    if (path.empty()) {
        opened.error = ENOENT;
        return opened;
    }
    const int device = openExclusive(path, opened.error);
    if (device < 0) {
        return opened;
    }
    opened.device = device;
    opened.lineSpeed = configureLine(device, line);
    if (mode == ReadMode::LowLatency) {
        const DriverLatencyRequest request = requestDriverLowLatency(device);
        opened.restore = request.restore;
        if (!request.granted) {
            // Only sysfs is read: finding the port's holder would scan every process.
            PortRoots roots;
            roots.proc.clear();
            opened.adapterLatencyMs = describePort(name, roots).latencyTimerMs;
        }
    }
    // Linux has no per-port queue sizes to request; its tty buffers are fixed in the driver.
    return opened;
}

Handle createWake(int& err) {
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        err = errno;
        return SerialPort::invalidHandle;
    }
    return wake;
}

void raiseWake(Handle wake) {
    const std::uint64_t one = 1;
    (void)!::write(fdOf(wake), &one, sizeof one);
}

void closeWake(Handle wake) {
    ::close(fdOf(wake));
}

int releaseDevice(Handle handle, const std::optional<int>& restore, int lineSpeed) {
    const int device = fdOf(handle);
    waitForUart(device, lineSpeed);
    // Exclusive use ends with this descriptor. On a pseudo-terminal (the virtual camera) the
    // flag would outlive it, and the job's reopen would be refused as busy to all but root.
    (void)::ioctl(device, TIOCNXCL);
    if (restore) {
        restoreDriverFlags(device, *restore);
    }
    releaseDeviceClaim(handle);
    // Linux releases the descriptor whatever close answers; EINTR is no failure at all.
    const int result = ::close(device);
    return result == 0 || errno == EINTR ? 0 : errno;
}

Transferred readDevice(Handle handle, Handle wakeHandle, std::span<std::uint8_t> buffer, ReadMode mode) {
    const int device = fdOf(handle);
    const int wake = fdOf(wakeHandle);
    const Deadline total = Deadline::after(readTotalLimit(buffer.size()));
    std::optional<Deadline> quietLimit; // 100 ms after the last byte
    Transferred done;
    while (done.count < buffer.size()) {
        const Deadline until = quietLimit ? earliest(total, *quietLimit) : total;
        const WaitResult waited = waitFor(device, POLLIN, wake, until);
        if (waited == WaitResult::woken || waited == WaitResult::timedOut)
            break;
        if (waited == WaitResult::ready) {
            const ssize_t count = ::read(device, buffer.data() + done.count, buffer.size() - done.count);
            if (count > 0) {
                done.count += static_cast<std::size_t>(count);
                if (mode == ReadMode::LowLatency) {
                    break; // everything the driver had is in: hand it on now
                }
                quietLimit = Deadline::after(readIntervalTimeout);
                continue;
            }
            if (count < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
        }
        // End of file, an error or a hang-up: the device has gone.
        done.gone = true;
        break;
    }
    return done;
}

void restUntil(Handle wake, Deadline deadline) {
    (void)waitFor(-1, 0, fdOf(wake), deadline);
}

Transferred writeDevice(Handle handle, Handle wakeHandle, std::span<const std::uint8_t> bytes,
                        int lineSpeed) {
    const int device = fdOf(handle);
    const int wake = fdOf(wakeHandle);
    const Deadline limit = Deadline::after(writeTotalLimit(bytes.size(), lineSpeed));
    Transferred done;
    while (done.count < bytes.size()) {
        const ssize_t written = ::write(device, bytes.data() + done.count, bytes.size() - done.count);
        if (written > 0) {
            done.count += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && isDeviceGoneError(errno))
            done.gone = true;
        if (written < 0 && errno == EAGAIN) {
            const WaitResult waited = waitFor(device, POLLOUT, wake, limit);
            if (waited == WaitResult::ready)
                continue;
            if (waited == WaitResult::hungUp)
                done.gone = true;
        }
        // Time limit, close, or a device that has gone: answer what was handed over.
        return done;
    }
    waitUntilQueueEmpty(device, wake, limit);
    return done;
}

} // namespace orvane::port_backend

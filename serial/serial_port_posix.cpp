// SerialPort on POSIX termios (Linux). The device is kept in non-blocking mode and every wait
// goes through ppoll on two descriptors: the device and an eventfd that a close raises, so a
// close never has to wait for a read's time limit. Time limits are in port_timing.h.
#include "serial/driver_latency.h"
#include "serial/line_speed.h"
#include "serial/port_details.h"
#include "serial/port_name.h"
#include "serial/port_timing.h"
#include "serial/raw_line_posix.h"
#include "serial/serial_port.h"
#include "serial/serial_port_transfer.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace orvane {
namespace {

using namespace std::chrono_literals;

// How often a write looks whether the driver has sent everything.
constexpr auto drainPollInterval = 1ms;

std::size_t clampedCount(std::size_t size) {
    return size > static_cast<std::size_t>(INT_MAX) ? static_cast<std::size_t>(INT_MAX) : size;
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
    // that asks for it, this program's included, whoever runs it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        err = EBUSY;
        return -1;
    }
    (void)::ioctl(fd, TIOCEXCL);
    return fd;
}

// Answers the line speed the port runs at afterwards, 0 when unknown.
int configureLine(int fd, int baudRate, int parity, int byteSize, int stopBits) {
    // The driver's refusals are not examined: the port then runs with what it kept.
    termios settings{};
    if (::tcgetattr(fd, &settings) == 0) {
        makeTransparent(settings, parity, byteSize, stopBits);
        (void)::tcsetattr(fd, TCSANOW, &settings);
    }
    return applyLineSpeed(fd, baudRate).value_or(0);
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

// Waits until the driver's transmit queue and, where the driver tells, the UART's shift
// register are empty, so that a speed change that follows cannot garble the last bytes.
void waitUntilSent(int device, int wake, Deadline limit) {
    while (true) {
        int queued = 0;
        if (::ioctl(device, TIOCOUTQ, &queued) != 0)
            return;
        if (queued == 0) {
            unsigned int lineStatus = 0;
            const bool shifting =
                ::ioctl(device, TIOCSERGETLSR, &lineStatus) == 0 && (lineStatus & TIOCSER_TEMT) == 0;
            if (!shifting)
                return;
        }
        if (limit.passed())
            return;
        if (waitFor(-1, 0, wake, earliest(limit, Deadline::after(drainPollInterval))) == WaitResult::woken)
            return;
    }
}

} // namespace

SerialPort::~SerialPort() {
    const std::lock_guard control(controlMutex_);
    (void)closeHeldPort();
}

int SerialPort::openPort(std::string_view name, int baudRate, int parity, int byteSize, int stopBits) {
    const std::lock_guard control(controlMutex_);
    (void)closeHeldPort();

    const std::string path = devicePathOf(name);
    if (path.empty()) {
        lastError_.store(ENOENT);
        return 0;
    }
    int err = 0;
    const int device = openExclusive(path, err);
    if (device < 0) {
        lastError_.store(err);
        return 0;
    }
    lineSpeed_.store(configureLine(device, baudRate, parity, byteSize, stopBits));
    adapterLatency_.store(-1);
    if (readMode() == ReadMode::LowLatency) {
        const DriverLatencyRequest request = requestDriverLowLatency(device);
        driverFlagsToRestore_ = request.restore;
        if (!request.granted) {
            // Only sysfs is read: finding the port's holder would scan every process.
            PortRoots roots;
            roots.proc.clear();
            adapterLatency_.store(describePort(name, roots).latencyTimerMs.value_or(-1));
        }
    }
    // Linux has no per-port queue sizes to request; its tty buffers are fixed in the driver.

    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        lastError_.store(errno);
        ::close(device);
        return 0;
    }
    {
        const std::lock_guard state(stateMutex_);
        device_ = device;
        wake_ = wake;
        closing_ = false;
    }
    gone_.store(false);
    handle_.store(device, std::memory_order_release);
    lastError_.store(0);
    return 1;
}

int SerialPort::closePort() {
    const std::lock_guard control(controlMutex_);
    return closeHeldPort();
}

int SerialPort::closeHeldPort() {
    NativeHandle device = invalidHandle;
    NativeHandle wake = invalidHandle;
    {
        std::unique_lock state(stateMutex_);
        if (device_ == invalidHandle) {
            lastError_.store(0);
            return 1;
        }
        closing_ = true;
        device = device_;
        wake = wake_;
        const std::uint64_t one = 1;
        (void)!::write(wake, &one, sizeof one);
        transfersDone_.wait(state, [this] { return transfers_ == 0; });
        device_ = invalidHandle;
        wake_ = invalidHandle;
        closing_ = false;
    }
    handle_.store(invalidHandle, std::memory_order_release);
    ::close(wake);
    // Exclusive use ends with this descriptor. On a pseudo-terminal (the virtual camera) the
    // flag would outlive it, and the job's reopen would be refused as busy to all but root.
    (void)::ioctl(device, TIOCNXCL);
    if (driverFlagsToRestore_) {
        restoreDriverFlags(device, *driverFlagsToRestore_);
        driverFlagsToRestore_.reset();
    }
    // Linux releases the descriptor whatever close answers; EINTR is no failure at all.
    const int result = ::close(device);
    lastError_.store(result == 0 || errno == EINTR ? 0 : errno);
    return 1;
}

std::optional<SerialPort::Channel> SerialPort::beginTransfer() {
    const std::lock_guard state(stateMutex_);
    if (device_ == invalidHandle || closing_)
        return std::nullopt;
    ++transfers_;
    return Channel{device_, wake_};
}

void SerialPort::endTransfer() {
    const std::lock_guard state(stateMutex_);
    if (--transfers_ == 0)
        transfersDone_.notify_all();
}

int SerialPort::readPort(std::span<std::uint8_t> buffer) {
    if (buffer.empty())
        return 0;
    const TransferGuard guard(*this);
    if (!guard.channel())
        return 0;
    const Channel channel = *guard.channel();

    const bool prompt = readMode() == ReadMode::LowLatency;
    const std::size_t capacity = clampedCount(buffer.size());
    const Deadline total = Deadline::after(readTotalLimit(capacity));
    std::optional<Deadline> quietLimit; // 100 ms after the last byte
    std::size_t received = 0;
    while (received < capacity) {
        const Deadline until = quietLimit ? earliest(total, *quietLimit) : total;
        const WaitResult waited = waitFor(channel.device, POLLIN, channel.wake, until);
        if (waited == WaitResult::woken || waited == WaitResult::timedOut)
            break;
        if (waited == WaitResult::ready) {
            const ssize_t count = ::read(channel.device, buffer.data() + received, capacity - received);
            if (count > 0) {
                received += static_cast<std::size_t>(count);
                if (prompt) {
                    break; // everything the driver had is in: hand it on now
                }
                quietLimit = Deadline::after(readIntervalTimeout);
                continue;
            }
            if (count < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
        }
        // End of file, an error or a hang-up: the device has gone. With nothing to hand back,
        // sleep out the time limit so that a caller reading in a loop does not spin.
        gone_.store(true);
        if (received == 0)
            (void)waitFor(-1, 0, channel.wake, total);
        break;
    }
    return static_cast<int>(received);
}

int SerialPort::writePort(std::span<const std::uint8_t> bytes) {
    if (bytes.empty())
        return 0;
    const TransferGuard guard(*this);
    if (!guard.channel())
        return 0;
    const Channel channel = *guard.channel();

    const std::size_t count = clampedCount(bytes.size());
    const Deadline limit = Deadline::after(writeTotalLimit(count, lineSpeed_.load()));
    std::size_t sent = 0;
    while (sent < count) {
        const ssize_t written = ::write(channel.device, bytes.data() + sent, count - sent);
        if (written > 0) {
            sent += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && isDeviceGoneError(errno))
            gone_.store(true);
        if (written < 0 && errno == EAGAIN) {
            const WaitResult waited = waitFor(channel.device, POLLOUT, channel.wake, limit);
            if (waited == WaitResult::ready)
                continue;
            if (waited == WaitResult::hungUp)
                gone_.store(true);
        }
        // Time limit, close, or a device that has gone: answer what was handed over.
        return static_cast<int>(sent);
    }
    waitUntilSent(channel.device, channel.wake, limit);
    return static_cast<int>(sent);
}

bool SerialPort::deviceGone() const {
    return gone_.load();
}

std::optional<int> SerialPort::adapterLatencyMs() const {
    const int ms = adapterLatency_.load();
    return ms >= 0 ? std::optional<int>(ms) : std::nullopt;
}

bool SerialPort::isOpen() const {
    return portHandle() != invalidHandle;
}

int SerialPort::lastError() const {
    return lastError_.load();
}

} // namespace orvane

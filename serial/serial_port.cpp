// SerialPort's bookkeeping, the same on every system: one open or close at a time, transfers
// counted so that a close raises the wake and waits until they have let go of the device,
// and the answers kept for lastError and deviceGone. The system calls are in the backends.
#include "serial/serial_port.h"

#include "serial/serial_port_backend.h"

#include <climits>
#include <utility>

namespace orvane {

namespace {

std::size_t clampedCount(std::size_t size) {
    return size > static_cast<std::size_t>(INT_MAX) ? static_cast<std::size_t>(INT_MAX) : size;
}

} // namespace

// A read or a write holds one for its whole life, so that a close waits until it is over.
class SerialPort::TransferGuard {
  public:
    explicit TransferGuard(SerialPort& port) : port_(port), channel_(port.beginTransfer()) {}
    ~TransferGuard() {
        if (channel_) {
            port_.endTransfer();
        }
    }
    TransferGuard(const TransferGuard&) = delete;
    TransferGuard& operator=(const TransferGuard&) = delete;
    const std::optional<Channel>& channel() const { return channel_; }

  private:
    SerialPort& port_;
    std::optional<Channel> channel_;
};

SerialPort::~SerialPort() {
    const std::lock_guard control(controlMutex_);
    (void)closeHeldPort();
}

int SerialPort::openPort(std::string_view name, int baudRate, int parity, int byteSize, int stopBits) {
    const std::lock_guard control(controlMutex_);
    (void)closeHeldPort();

    int err = 0;
    const NativeHandle wake = port_backend::createWake(err);
    if (wake == invalidHandle) {
        lastError_.store(err);
        return 0;
    }
    const port_backend::OpenedDevice opened =
        port_backend::openDevice(name, {baudRate, parity, byteSize, stopBits}, readMode());
    if (opened.device == invalidHandle) {
        port_backend::closeWake(wake);
        lastError_.store(opened.error);
        return 0;
    }
    lineSpeed_.store(opened.lineSpeed);
    adapterLatency_.store(opened.adapterLatencyMs.value_or(-1));
    restoreOnRelease_ = opened.restore;
    {
        const std::lock_guard state(stateMutex_);
        device_ = opened.device;
        wake_ = wake;
        closing_ = false;
    }
    gone_.store(false);
    handle_.store(opened.device, std::memory_order_release);
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
        port_backend::raiseWake(wake);
        transfersDone_.wait(state, [this] { return transfers_ == 0; });
        device_ = invalidHandle;
        wake_ = invalidHandle;
        closing_ = false;
    }
    handle_.store(invalidHandle, std::memory_order_release);
    port_backend::closeWake(wake);
    const std::optional<int> restore = std::exchange(restoreOnRelease_, std::nullopt);
    lastError_.store(port_backend::releaseDevice(device, restore, lineSpeed_.load()));
    return 1;
}

std::optional<SerialPort::Channel> SerialPort::beginTransfer() {
    const std::lock_guard state(stateMutex_);
    if (device_ == invalidHandle || closing_) {
        return std::nullopt;
    }
    ++transfers_;
    return Channel{device_, wake_};
}

void SerialPort::endTransfer() {
    const std::lock_guard state(stateMutex_);
    if (--transfers_ == 0) {
        transfersDone_.notify_all();
    }
}

template <typename Move> int SerialPort::transfer(std::size_t size, Move move) {
    if (size == 0) {
        return 0;
    }
    const TransferGuard guard(*this);
    if (!guard.channel()) {
        return 0;
    }
    const port_backend::Transferred done = move(*guard.channel(), clampedCount(size));
    if (done.gone) {
        gone_.store(true);
    }
    return static_cast<int>(done.count);
}

int SerialPort::readPort(std::span<std::uint8_t> buffer) {
    return transfer(buffer.size(), [&](const Channel& channel, std::size_t count) {
        const Deadline limit = Deadline::after(readTotalLimit(count));
        const port_backend::Transferred done =
            port_backend::readDevice(channel.device, channel.wake, buffer.first(count), readMode());
        if (done.gone && done.count == 0) {
            // Told at once, so a job waiting on the port learns of the unplug now; then the
            // rest of the read's limit is slept out, so a caller reading in a loop cannot spin.
            gone_.store(true);
            port_backend::restUntil(channel.wake, limit);
        }
        return done;
    });
}

int SerialPort::writePort(std::span<const std::uint8_t> bytes) {
    return transfer(bytes.size(), [&](const Channel& channel, std::size_t count) {
        return port_backend::writeDevice(channel.device, channel.wake, bytes.first(count), lineSpeed_.load());
    });
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

// SerialPort on Win32. The port is opened for overlapped I/O, so that every wait can also
// watch an event that a close raises: a close never has to wait for a read's time limit. The
// driver's read time-outs give the interval rule; writes are limited here, as on Linux.
#include "platform/windows_error.h"
#include "serial/comm_state_win32.h"
#include "serial/port_name.h"
#include "serial/port_timing.h"
#include "serial/serial_port.h"
#include "serial/serial_port_transfer.h"

#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdint>

namespace orvane {
namespace {

using namespace std::chrono_literals;

// A read the driver should have ended by its own time-outs is given up this much later.
constexpr auto driverSlack = 1000ms;

HANDLE toHandle(SerialPort::NativeHandle value) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(value));
}

SerialPort::NativeHandle fromHandle(HANDLE handle) {
    return static_cast<SerialPort::NativeHandle>(reinterpret_cast<std::intptr_t>(handle));
}

DWORD clampedCount(std::size_t size) {
    return size > static_cast<std::size_t>(INT_MAX) ? static_cast<DWORD>(INT_MAX) : static_cast<DWORD>(size);
}

DWORD millisecondsOf(TransferClock::duration duration) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(duration).count();
    return ms >= static_cast<long long>(INFINITE) ? INFINITE - 1 : static_cast<DWORD>(ms);
}

// What a transfer sees when a USB adapter has been pulled out.
bool isDeviceGoneError(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_BAD_COMMAND || error == ERROR_DEVICE_REMOVED ||
           error == ERROR_GEN_FAILURE || error == ERROR_DEV_NOT_EXIST || error == ERROR_INVALID_HANDLE;
}

// A manual-reset event per transfer: reads and writes on other threads have their own.
class TransferEvent {
  public:
    TransferEvent() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~TransferEvent() {
        if (event_ != nullptr) {
            CloseHandle(event_);
        }
    }
    TransferEvent(const TransferEvent&) = delete;
    TransferEvent& operator=(const TransferEvent&) = delete;
    HANDLE get() const { return event_; }

  private:
    HANDLE event_;
};

struct TransferResult {
    DWORD count = 0;
    DWORD error = ERROR_SUCCESS; // of a transfer that failed by itself (not cancelled by us)
};

// Starts ReadFile or WriteFile and waits for it, for the wake event or for the limit; a
// transfer still running then is cancelled and answers what it had moved.
template <typename Start>
TransferResult runTransfer(HANDLE device, HANDLE wake, TransferClock::duration limit, Start start) {
    TransferEvent event;
    if (event.get() == nullptr) {
        return {0, GetLastError()};
    }
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    if (!start(&overlapped)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            return {0, error};
        }
        const HANDLE waits[2] = {wake, event.get()};
        const DWORD waited = WaitForMultipleObjects(2, waits, FALSE, millisecondsOf(limit));
        if (waited != WAIT_OBJECT_0 + 1) {
            CancelIoEx(device, &overlapped);
        }
    }
    TransferResult result;
    if (!GetOverlappedResult(device, &overlapped, &result.count, TRUE)) {
        const DWORD error = GetLastError();
        result.error = error == ERROR_OPERATION_ABORTED ? ERROR_SUCCESS : error;
    }
    return result;
}

} // namespace

SerialPort::~SerialPort() {
    const std::lock_guard control(controlMutex_);
    (void)closeHeldPort();
}

int SerialPort::openPort(std::string_view name, int baudRate, int parity, int byteSize, int stopBits) {
    const std::lock_guard control(controlMutex_);
    (void)closeHeldPort();

    const std::string path = windowsDevicePathOf(name);
    if (path.empty()) {
        lastError_.store(ENOENT);
        return 0;
    }
    // Share mode none: no other handle to the port may exist, in this process or another.
    HANDLE device = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        lastError_.store(errnoOfWindowsPortError(GetLastError()));
        return 0;
    }
    // Only a serial device has a line state; a mistyped path to a file is never written into.
    DCB settings{};
    settings.DCBlength = sizeof settings;
    if (GetFileType(device) != FILE_TYPE_CHAR || !GetCommState(device, &settings)) {
        CloseHandle(device);
        lastError_.store(ENOTTY);
        return 0;
    }
    // The driver's refusals are not examined: the port then runs with what it kept.
    makeTransparent(settings, baudRate, parity, byteSize, stopBits);
    (void)SetCommState(device, &settings);
    DCB kept{};
    kept.DCBlength = sizeof kept;
    lineSpeed_.store(GetCommState(device, &kept) && kept.BaudRate <= INT_MAX ? static_cast<int>(kept.BaudRate)
                                                                             : 0);
    (void)SetupComm(device, 4096, 8192);
    COMMTIMEOUTS timeouts = portTimeouts(readMode() == ReadMode::LowLatency);
    (void)SetCommTimeouts(device, &timeouts);

    HANDLE wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (wake == nullptr) {
        lastError_.store(errnoOfWindowsError(GetLastError()));
        CloseHandle(device);
        return 0;
    }
    {
        const std::lock_guard state(stateMutex_);
        device_ = fromHandle(device);
        wake_ = fromHandle(wake);
        closing_ = false;
    }
    gone_.store(false);
    handle_.store(fromHandle(device), std::memory_order_release);
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
        SetEvent(toHandle(wake));
        transfersDone_.wait(state, [this] { return transfers_ == 0; });
        device_ = invalidHandle;
        wake_ = invalidHandle;
        closing_ = false;
    }
    handle_.store(invalidHandle, std::memory_order_release);
    CloseHandle(toHandle(wake));
    const bool closed = CloseHandle(toHandle(device)) != 0;
    lastError_.store(closed ? 0 : errnoOfWindowsPortError(GetLastError()));
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

int SerialPort::readPort(std::span<std::uint8_t> buffer) {
    if (buffer.empty()) {
        return 0;
    }
    const TransferGuard guard(*this);
    if (!guard.channel()) {
        return 0;
    }
    const HANDLE device = toHandle(guard.channel()->device);
    const HANDLE wake = toHandle(guard.channel()->wake);
    const DWORD capacity = clampedCount(buffer.size());
    const auto limit = readTotalLimit(capacity);
    const Deadline total = Deadline::after(limit);

    const TransferResult result = runTransfer(device, wake, limit + driverSlack, [&](OVERLAPPED* overlapped) {
        return ReadFile(device, buffer.data(), capacity, nullptr, overlapped) != 0;
    });
    if (result.error != ERROR_SUCCESS && isDeviceGoneError(result.error)) {
        gone_.store(true);
        // Nothing to hand back: sleep out the time limit so a caller reading in a loop does not spin.
        if (result.count == 0) {
            (void)WaitForSingleObject(wake, millisecondsOf(total.remaining()));
        }
    }
    return static_cast<int>(result.count);
}

int SerialPort::writePort(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return 0;
    }
    const TransferGuard guard(*this);
    if (!guard.channel()) {
        return 0;
    }
    const HANDLE device = toHandle(guard.channel()->device);
    const HANDLE wake = toHandle(guard.channel()->wake);
    const DWORD count = clampedCount(bytes.size());
    const TransferResult result =
        runTransfer(device, wake, writeTotalLimit(count, lineSpeed_.load()), [&](OVERLAPPED* overlapped) {
            return WriteFile(device, bytes.data(), count, nullptr, overlapped) != 0;
        });
    if (result.error != ERROR_SUCCESS && isDeviceGoneError(result.error)) {
        gone_.store(true);
    }
    return static_cast<int>(result.count);
}

std::optional<int> SerialPort::adapterLatencyMs() const {
    return std::nullopt; // no driver latency timer to read here; the port's own read ends at once
}

bool SerialPort::deviceGone() const {
    return gone_.load();
}

bool SerialPort::isOpen() const {
    return portHandle() != invalidHandle;
}

int SerialPort::lastError() const {
    return lastError_.load();
}

} // namespace orvane

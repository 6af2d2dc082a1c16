// SerialPort's system calls on Win32. The port is opened for overlapped I/O, so that every
// wait can also watch an event that a close raises: a close never has to wait for a read's
// time limit. The driver's read time-outs give the interval rule; writes are limited here, as
// on Linux.
#include "platform/windows_error.h"
#include "serial/comm_state_win32.h"
#include "serial/port_name.h"
#include "serial/port_timing.h"
#include "serial/serial_port_backend.h"

#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdint>

namespace orvane::port_backend {
namespace {

using namespace std::chrono_literals;

// A read the driver should have ended by its own time-outs is given up this much later.
constexpr auto driverSlack = 1000ms;

HANDLE toHandle(Handle value) {
    return reinterpret_cast<HANDLE>(value);
}

Handle fromHandle(HANDLE handle) {
    return reinterpret_cast<Handle>(handle);
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

bool isGone(const TransferResult& result) {
    return result.error != ERROR_SUCCESS && isDeviceGoneError(result.error);
}

// Sets the line and the time-outs; answers the speed the driver kept, 0 when unknown.
int configurePort(HANDLE device, DCB settings, const LineSettings& line, ReadMode mode) {
    // The driver's refusals are not examined: the port then runs with what it kept.
    makeTransparent(settings, line.baudRate, line.parity, line.byteSize, line.stopBits);
    (void)SetCommState(device, &settings);
    DCB kept{};
    kept.DCBlength = sizeof kept;
    const int speed =
        GetCommState(device, &kept) && kept.BaudRate <= INT_MAX ? static_cast<int>(kept.BaudRate) : 0;
    (void)SetupComm(device, 4096, 8192);
    COMMTIMEOUTS timeouts = portTimeouts(mode == ReadMode::LowLatency);
    (void)SetCommTimeouts(device, &timeouts);
    return speed;
}

} // namespace

OpenedDevice openDevice(std::string_view name, const LineSettings& line, ReadMode mode) {
    OpenedDevice opened;
    const std::string path = windowsDevicePathOf(name);
    if (path.empty()) {
        opened.error = ENOENT;
        return opened;
    }
    // Share mode none: no other handle to the port may exist, in this process or another.
    HANDLE device = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        opened.error = errnoOfWindowsPortError(GetLastError());
        return opened;
    }
    // Only a serial device has a line state; a mistyped path to a file is never written into.
    DCB settings{};
    settings.DCBlength = sizeof settings;
    if (GetFileType(device) != FILE_TYPE_CHAR || !GetCommState(device, &settings)) {
        CloseHandle(device);
        opened.error = ENOTTY;
        return opened;
    }
    opened.lineSpeed = configurePort(device, settings, line, mode);
    opened.device = fromHandle(device);
    return opened;
}

Handle createWake(int& err) {
    HANDLE wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (wake == nullptr) {
        err = errnoOfWindowsError(GetLastError());
        return SerialPort::invalidHandle;
    }
    return fromHandle(wake);
}

void raiseWake(Handle wake) {
    SetEvent(toHandle(wake));
}

void closeWake(Handle wake) {
    CloseHandle(toHandle(wake));
}

int releaseDevice(Handle device, const std::optional<int>& /*restore*/, int /*lineSpeed*/) {
    // The driver sends what it holds before the handle goes; nothing is given back here.
    return CloseHandle(toHandle(device)) != 0 ? 0 : errnoOfWindowsPortError(GetLastError());
}

Transferred readDevice(Handle deviceHandle, Handle wakeHandle, std::span<std::uint8_t> buffer,
                       ReadMode /*mode*/) {
    // The mode took effect as the driver's time-outs at the open.
    const HANDLE device = toHandle(deviceHandle);
    const HANDLE wake = toHandle(wakeHandle);
    const auto capacity = static_cast<DWORD>(buffer.size());
    const auto limit = readTotalLimit(capacity);

    const TransferResult result = runTransfer(device, wake, limit + driverSlack, [&](OVERLAPPED* overlapped) {
        return ReadFile(device, buffer.data(), capacity, nullptr, overlapped) != 0;
    });
    return {result.count, isGone(result)};
}

void restUntil(Handle wake, Deadline deadline) {
    (void)WaitForSingleObject(toHandle(wake), millisecondsOf(deadline.remaining()));
}

Transferred writeDevice(Handle deviceHandle, Handle wakeHandle, std::span<const std::uint8_t> bytes,
                        int lineSpeed) {
    const HANDLE device = toHandle(deviceHandle);
    const HANDLE wake = toHandle(wakeHandle);
    const auto count = static_cast<DWORD>(bytes.size());
    const TransferResult result =
        runTransfer(device, wake, writeTotalLimit(count, lineSpeed), [&](OVERLAPPED* overlapped) {
            return WriteFile(device, bytes.data(), count, nullptr, overlapped) != 0;
        });
    return {result.count, isGone(result)};
}

} // namespace orvane::port_backend

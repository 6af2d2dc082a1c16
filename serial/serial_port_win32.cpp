// SerialPort's system calls on Win32. The port is opened for overlapped I/O, so that every
// wait can also watch an event that a close raises: a close never has to wait for a read's
// time limit. The driver's read time-outs give the interval rule of standard reads; prompt
// reads wait for the first character themselves (prompt_read_win32.h); writes are limited
// here, as on Linux.
#include "platform/windows_error.h"
#include "serial/comm_state_win32.h"
#include "serial/overlapped_win32.h"
#include "serial/port_name.h"
#include "serial/port_timing.h"
#include "serial/prompt_read_win32.h"
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

// errno for a SetCommState the driver refused: the technician is told the line settings were
// refused; a device that has gone meanwhile says so instead.
int errnoOfRefusal(DWORD error) {
    if (error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION) {
        return ENOTSUP;
    }
    return errnoOfWindowsPortError(error);
}

struct ConfiguredLine {
    int error = 0; // errno when the driver refused the line, 0 when it took it
    int speed = 0; // bit/s the port runs at, 0 when unknown
};

// Sets the line and the time-outs. Windows keeps a port's settings between opens, so a line
// the driver refused would run on at whatever the last program left: refused here instead.
ConfiguredLine configurePort(HANDLE device, DCB settings, const LineSettings& line, ReadMode mode) {
    // The receive queue is not purged: a job reopens the port mid-exchange (the Special
    // target's switch), and a camera answering at once has its reply queued before this
    // point. Stale replies are the job's to ignore, as it clears its flags before each step.
    makeTransparent(settings, line.baudRate, line.parity, line.byteSize, line.stopBits);
    if (!SetCommState(device, &settings)) {
        return {errnoOfRefusal(GetLastError()), 0};
    }
    DCB kept{};
    kept.DCBlength = sizeof kept;
    const bool known = GetCommState(device, &kept) != 0;
    if (known && !speedTaken(line.baudRate, kept.BaudRate)) {
        return {ENOTSUP, 0}; // taken without a word, but run at another speed (Wine does so)
    }
    // Line errors from before, or from the change of speed, are not the camera's.
    DWORD lineErrors = 0;
    (void)ClearCommError(device, &lineErrors, nullptr);
    // Queue sizes and time-outs are requests the driver may round or refuse; the port's own
    // limits in readDevice and writeDevice hold whatever it does.
    (void)SetupComm(device, 4096, 8192);
    COMMTIMEOUTS timeouts = portTimeouts();
    (void)SetCommTimeouts(device, &timeouts);
    if (mode == ReadMode::LowLatency) {
        preparePromptReads(device);
    }
    return {0, known && kept.BaudRate <= INT_MAX ? static_cast<int>(kept.BaudRate) : 0};
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
    const ConfiguredLine configured = configurePort(device, settings, line, mode);
    if (configured.error != 0) {
        CloseHandle(device);
        opened.error = configured.error;
        return opened;
    }
    opened.lineSpeed = configured.speed;
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
                       ReadMode mode) {
    const HANDLE device = toHandle(deviceHandle);
    const HANDLE wake = toHandle(wakeHandle);
    const auto capacity = static_cast<DWORD>(buffer.size());
    const auto limit = readTotalLimit(capacity);

    const TransferResult result =
        mode == ReadMode::LowLatency
            ? readPromptly(device, wake, buffer, Deadline::after(limit))
            : runTransfer(device, wake, limit + driverSlack, [&](OVERLAPPED* overlapped) {
                  return ReadFile(device, buffer.data(), capacity, nullptr, overlapped) != 0;
              });
    return {result.count, result.gone()};
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
    return {result.count, result.gone()};
}

} // namespace orvane::port_backend

// What SerialPort asks of its system, one file a platform (serial_port_posix.cpp,
// serial_port_win32.cpp): open the device with its line settings, make and raise the wake
// that ends transfers in progress, read and write on the handle, release it. The bookkeeping
// around these calls, the same everywhere, is in serial_port.cpp.
#pragma once

#include "serial/port_timing.h"
#include "serial/serial_link.h"
#include "serial/serial_port.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace orvane::port_backend {

using Handle = SerialPort::NativeHandle;

struct LineSettings {
    int baudRate = 0;
    int parity = 0;
    int byteSize = 0;
    int stopBits = 0;
};

struct OpenedDevice {
    Handle device = SerialPort::invalidHandle; // invalidHandle when the open failed
    int error = 0;                             // errno of a failed open
    int lineSpeed = 0;                         // bit/s the port runs at, 0 when unknown
    std::optional<int> adapterLatencyMs;       // the USB adapter's own, where known
    std::optional<int> restore;                // driver state to give back at the release
};

// Opens the port named (as SerialPort::openPort describes) with the line settings; in
// ReadMode::LowLatency also asks the driver to hand bytes on at once.
OpenedDevice openDevice(std::string_view name, const LineSettings& line, ReadMode mode);

// An event that wakes every wait of a transfer on the port once raised; invalidHandle with
// err set when none can be made.
Handle createWake(int& err);
void raiseWake(Handle wake);
void closeWake(Handle wake);
// Sleeps until the deadline or until wake is raised.
void restUntil(Handle wake, Deadline deadline);

// Gives the device back to the system, after the bytes still leaving it (a speed change may
// follow), with the driver state it had before the open. Answers errno, 0 when it went well.
int releaseDevice(Handle device, const std::optional<int>& restore, int lineSpeed);

struct Transferred {
    std::size_t count = 0;
    bool gone = false; // the device has vanished or hung up
};

// One read or write by SerialPort's rules, on a buffer of at most INT_MAX bytes; each ends
// early once wake is raised. A read from a device that has gone answers at once.
Transferred readDevice(Handle device, Handle wake, std::span<std::uint8_t> buffer, ReadMode mode);
Transferred writeDevice(Handle device, Handle wake, std::span<const std::uint8_t> bytes, int lineSpeed);

} // namespace orvane::port_backend

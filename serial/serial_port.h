// The serial port of the process: the real SerialLink on the machine's serial devices.
//
// Contracts (answers as SerialLink states them; the why of a failure is in lastError()):
//  - openPort(name, baud, parity, byteSize, stopBits): maps the name with devicePathOf, opens
//    the device exclusively and sets a raw eight-bit transparent line. Exclusive: a second
//    open of the same device by a SerialPort of this process, under any name (/dev/tty for the
//    controlling terminal included: devices are told apart by their device number), or of
//    another process by the same node or a link to it, root included, answers 0 with EBUSY
//    (flock); other programs that open it later are turned away by TIOCEXCL unless they run as
//    root. Answers 1 or 0. Parity 0 none, 1 odd, 2 even,
//    3 mark, 4 space; byteSize 5 to 8; stopBits 0 one, 1 one and a half, 2 two. A value out
//    of range leaves that setting as the driver had it; a speed the driver refuses (0 or less
//    included) leaves the speed it kept, and the port still opens (answer 1); on Windows,
//    which keeps a port's settings between opens, a driver that refuses the settings or runs
//    at another speed than asked (beyond 2 %) answers 0 with ENOTSUP instead. The line is
//    never hung up by a speed of 0. Only character devices that are terminals are accepted
//    (ENOTTY otherwise), so a mistyped path to a file can never be written into. When a port
//    is already open it is closed first.
//  - closePort(): nonzero when no port is open afterwards, which on this platform is always,
//    also when none was open. A close wakes reads and writes in progress on other threads at
//    once and returns only after they have let go of the device, so none of them can go on
//    against a descriptor number that is handed out again. If the system reported an error
//    while releasing the device (EIO: output may have been lost), lastError keeps it.
//  - readPort(buffer): returns when buffer.size() bytes have arrived, or 100 ms after the last
//    byte once at least one has arrived (ReadMode::LowLatency: as soon as one has), or 500 ms
//    + 1 ms per byte of capacity after the call began, whichever comes first; answers the
//    count stored at the start of buffer.
//  - In ReadMode::LowLatency an open asks the driver for low latency (given back at the
//    close) and, where it would not, notes the USB adapter's latency timer (adapterLatencyMs).
//  - writePort(bytes): hands over every byte and waits until they have left the driver's
//    queue, or until their time on the wire at the speed the port opened at (ten bits a byte)
//    plus 100 ms + 2 ms per byte have passed; answers the count handed over. The few bytes the
//    UART itself still holds are waited for at the close, where a speed change may follow.
//  - Both transfers answer 0 at once on a closed port. On a device that has vanished (USB
//    adapter pulled) they answer 0 or the partial count and deviceGone() turns true until the
//    next open; a read then still waits out its time limit, so a caller reading in a loop does
//    not spin. Close and reopen when it is back.
//  - All operations may be called from any thread at any time.
#pragma once

#include "serial/serial_link.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

namespace orvane {

class SerialPort final : public SerialLink {
  public:
    // The platform's handle of an open port, whole: a file descriptor on POSIX, a HANDLE on
    // Windows (whose invalid value is -1 too).
    using NativeHandle = std::intptr_t;
    static constexpr NativeHandle invalidHandle = -1;

    SerialPort() = default;
    ~SerialPort() override; // closes the port if one is open
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    int openPort(std::string_view name, int baudRate, int parity, int byteSize, int stopBits) override;
    int closePort() override;
    int writePort(std::span<const std::uint8_t> bytes) override;
    int readPort(std::span<std::uint8_t> buffer) override;
    bool isOpen() const override;
    int lastError() const override;
    bool deviceGone() const override;
    std::optional<int> adapterLatencyMs() const override;

    // The open port's handle, invalidHandle while closed. Readable from any thread without a
    // lock; the value may be stale by the time it is used, so it is for display and polling,
    // never for I/O of the caller's own.
    NativeHandle portHandle() const noexcept { return handle_.load(std::memory_order_acquire); }

  private:
    // The handles a transfer in progress works on. While one exists the port is not closed.
    struct Channel {
        NativeHandle device;
        NativeHandle wake; // raised when a close wants the channel back
    };
    class TransferGuard;

    std::optional<Channel> beginTransfer();
    void endTransfer();
    int closeHeldPort(); // with controlMutex_ held
    // A read or a write of size bytes: move(channel, count) runs while the port cannot close.
    template <typename Move> int transfer(std::size_t size, Move move);

    std::mutex controlMutex_; // one open or close at a time
    std::mutex stateMutex_;   // guards the members below it
    std::condition_variable transfersDone_;
    NativeHandle device_ = invalidHandle;
    NativeHandle wake_ = invalidHandle;
    int transfers_ = 0;
    bool closing_ = false;

    std::atomic<NativeHandle> handle_{invalidHandle};
    std::atomic<int> lastError_{0};
    std::atomic<bool> gone_{false};
    std::atomic<int> lineSpeed_{0};       // bit/s the open port runs at, 0 when unknown
    std::atomic<int> adapterLatency_{-1}; // ms, -1 when unknown or not asked
    std::optional<int> restoreOnRelease_; // the driver's state before the open; with controlMutex_ held
};

} // namespace orvane

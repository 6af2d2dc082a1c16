// What the protocol layers need of a serial port. SerialPort is the real one; tests put
// recording or scripted links in its place.
//
// Error rules: the four operations answer plain integers, which is all their callers test (1
// or 0 for an open, nonzero for a successful close, byte counts for transfers). Beside them the link
// keeps the system's reason of the last failed open or close, so a front end can say what
// went wrong ("permission denied: add your user to the dialout group").
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace orvane {

inline constexpr int parityNone = 0;
inline constexpr int oneStopBit = 0;

// When a read that has received bytes ends.
enum class ReadMode : std::uint8_t {
    // 100 ms after the last byte: a short reply comes whole, 100 ms after it ended.
    Standard,
    // As soon as bytes are there; an open also asks the driver to hand bytes on at once.
    LowLatency,
};

class SerialLink {
  public:
    virtual ~SerialLink() = default;

    // Opens the port the user named (see devicePathOf) at the given line settings.
    // Answers 1 when a port was obtained, 0 when not.
    virtual int openPort(std::string_view name, int baudRate, int parity, int byteSize, int stopBits) = 0;
    // Answers nonzero when the port is closed afterwards (also when none was open), 0 when
    // the system refused to close it.
    virtual int closePort() = 0;
    // Answer the number of bytes transferred; 0 on a closed port, at once.
    virtual int writePort(std::span<const std::uint8_t> bytes) = 0;
    virtual int readPort(std::span<std::uint8_t> buffer) = 0;
    // Whether a port is open; safe to call from any thread without a lock.
    virtual bool isOpen() const = 0;
    // errno of the last failed openPort or closePort, 0 after a success.
    virtual int lastError() const = 0;
    // Whether a transfer since the last open found the device gone (a USB adapter pulled out:
    // hang-up, EIO, ENXIO). Nothing written to it can arrive; it stays so until the next open.
    virtual bool deviceGone() const { return false; }
    // How long the USB adapter itself still holds received bytes back (an FTDI latency timer
    // the driver would not lower), in ms; known after an open in ReadMode::LowLatency.
    virtual std::optional<int> adapterLatencyMs() const { return std::nullopt; }

    // Set by whoever owns the exchange (an upgrade job, for its run); reads in progress keep
    // the mode they began with, the driver request is made at the next open. Any thread.
    // A link that passes its work to another passes the mode on too.
    virtual void setReadMode(ReadMode mode) { readMode_.store(mode, std::memory_order_relaxed); }
    virtual ReadMode readMode() const { return readMode_.load(std::memory_order_relaxed); }

    // One exchange at a time on a line: an upgrade job holds its port for its whole run, so a
    // second job on the same port is turned away while jobs on other ports go on.
    bool tryHold() noexcept {
        bool expected = false;
        return held_.compare_exchange_strong(expected, true, std::memory_order_acq_rel);
    }
    void release() noexcept { held_.store(false, std::memory_order_release); }
    bool held() const noexcept { return held_.load(std::memory_order_acquire); }

  private:
    std::atomic<bool> held_{false};
    std::atomic<ReadMode> readMode_{ReadMode::Standard};
};

} // namespace orvane

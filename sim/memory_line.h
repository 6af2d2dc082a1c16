// A serial line inside the process, for the virtual camera where there is no pseudo-terminal
// (Windows) or no need for one (tests). The host end is a SerialLink that behaves as a port
// does: a read waits for bytes up to the port's time limits and ends 100 ms after the last
// one (at once in ReadMode::LowLatency), a close wakes a read in progress, and the speed the
// host opened at travels with every byte it writes, so the camera can tell a frame sent at
// the wrong speed. With pacing, writes take their time on the wire (10 bits a byte). Strict, the
// line is a real port's: bytes for the host are lost while its port is closed, and what it has
// not read when it closes the port goes with it.
#pragma once

#include "serial/serial_link.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace orvane {

// Bytes the host wrote at one line speed.
struct LineChunk {
    std::vector<std::uint8_t> bytes;
    int speed = 0;
};

class MemoryLine final : public SerialLink {
  public:
    explicit MemoryLine(bool pacing = false, bool strict = false) : pacing_(pacing), strict_(strict) {}

    // The host's end.
    int openPort(std::string_view name, int baudRate, int parity, int byteSize, int stopBits) override;
    int closePort() override;
    int writePort(std::span<const std::uint8_t> bytes) override;
    int readPort(std::span<std::uint8_t> buffer) override;
    bool isOpen() const override { return open_.load(); }
    int lastError() const override;

    // The camera's end. Waits until the host has written, the line is shut or the deadline
    // passes; answers what was written, oldest first.
    std::vector<LineChunk> takeFromHost(std::chrono::steady_clock::time_point deadline);
    // Hands bytes to the host (after their wire time at the given speed, with pacing); they
    // wait for its next read, across a close as in a terminal's buffer unless the line is strict.
    // false: lost, the host's port being closed (strict only).
    bool sendToHost(std::span<const std::uint8_t> bytes, int speed);
    // The host's speed while its port is open, else 0.
    int hostSpeed() const;
    // Waits until the host's port is open at this speed, the line is shut or the deadline passes.
    bool waitForHostAt(int speed, std::chrono::steady_clock::time_point deadline);
    // Waits until the deadline or until the line is shut.
    void idleUntil(std::chrono::steady_clock::time_point deadline);
    // Ends every wait on either end for good.
    void shut();
    bool isShut() const;

  private:
    void pace(std::size_t count, int speed);

    const bool pacing_;
    const bool strict_;
    std::atomic<bool> open_{false};
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<LineChunk> toCamera_;
    std::deque<std::uint8_t> toHost_;
    int speed_ = 0;
    std::uint64_t opens_ = 0; // a close or reopen ends the reads begun before it
    bool shut_ = false;
    int lastError_ = 0;
};

} // namespace orvane

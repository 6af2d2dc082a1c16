// The time limits of a transfer, in one place: how long a read or a write may take and how
// much of that is left. Everything runs on the monotonic clock, so a change of the wall clock
// (NTP, the technician fixing the date) never stretches or cuts a transfer.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>

namespace orvane {

using TransferClock = std::chrono::steady_clock;

// The port's fixed time-outs, in milliseconds.
inline constexpr std::chrono::milliseconds readIntervalTimeout{100};
inline constexpr std::chrono::milliseconds readTotalTimeoutConstant{500};
inline constexpr std::chrono::milliseconds readTotalTimeoutMultiplier{1};
inline constexpr std::chrono::milliseconds writeTotalTimeoutConstant{100};
inline constexpr std::chrono::milliseconds writeTotalTimeoutMultiplier{2};

// 500 ms + 1 ms per byte of capacity: 628 ms for the reply receiver's 128-byte reads.
constexpr std::chrono::milliseconds readTotalLimit(std::size_t capacity) {
    return readTotalTimeoutConstant + readTotalTimeoutMultiplier * static_cast<long long>(capacity);
}

// 100 ms + 2 ms per byte: 2160 ms for a 1030-byte data block.
constexpr std::chrono::milliseconds writeTotalLimit(std::size_t count) {
    return writeTotalTimeoutConstant + writeTotalTimeoutMultiplier * static_cast<long long>(count);
}

// A point in time a wait must not pass.
class Deadline {
  public:
    explicit Deadline(TransferClock::time_point end) : end_(end) {}
    static Deadline after(TransferClock::duration limit) { return Deadline(TransferClock::now() + limit); }

    TransferClock::time_point end() const { return end_; }
    bool passed() const { return TransferClock::now() >= end_; }
    // What is left, never negative.
    TransferClock::duration remaining() const {
        return std::max(end_ - TransferClock::now(), TransferClock::duration::zero());
    }
    // The earlier of two deadlines.
    friend Deadline earliest(Deadline a, Deadline b) { return Deadline(std::min(a.end_, b.end_)); }

  private:
    TransferClock::time_point end_;
};

} // namespace orvane

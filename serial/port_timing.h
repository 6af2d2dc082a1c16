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

// How long count bytes take on a line of lineSpeed bits per second, ten bits a byte (start,
// eight data, stop), rounded up; nothing for a speed that is not known (0 or less).
constexpr std::chrono::milliseconds wireTime(std::size_t count, int lineSpeed) {
    if (lineSpeed <= 0)
        return std::chrono::milliseconds{0};
    const long long bitMilliseconds = 10LL * 1000 * static_cast<long long>(count);
    return std::chrono::milliseconds{(bitMilliseconds + lineSpeed - 1) / lineSpeed};
}

// The write limit at the port's speed: the wire time, with the fixed limit above as margin.
// Below about 5000 bit/s a 1030-byte block needs longer on the wire than the fixed limit.
constexpr std::chrono::milliseconds writeTotalLimit(std::size_t count, int lineSpeed) {
    return wireTime(count, lineSpeed) + writeTotalLimit(count);
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

// When bytes are through a line that carries them at 10 bits each (start, 8 data, stop).
// Byte n of a run that began at t0 is through at t0 + (n + 1) byte times, counted from the
// start of the run rather than added up chunk by chunk, so rounding never builds up, whatever
// the rate. Bytes handed on while the line is still busy join its run; a line that has gone
// quiet begins a new one. Pure: times in, times out.
#pragma once

#include "sim/host_frame.h"

#include <cstddef>
#include <cstdint>

namespace orvane {

// How long bytes take on the line at 10 bits a byte, rounded up to the nanosecond. Not named
// wireTime: that one (whole milliseconds, the port's) is inline, and one name for both let the
// linker hand its callers this one's nanoseconds as milliseconds.
std::chrono::nanoseconds exactWireTime(std::uint64_t bytes, int bitsPerSecond);

class LinePacer {
  public:
    // Hands count bytes to the line at `now`; answers when the last of them is through.
    SimTime pass(std::size_t count, SimTime now, int bitsPerSecond);
    // When byte number `index` (counting every byte passed so far, from 0) is through. A byte
    // of an earlier run answers the start of the current one: it was through before that.
    SimTime throughAt(std::uint64_t index) const;
    std::uint64_t passed() const { return passed_; }

  private:
    int speed_ = 0;
    SimTime runStart_{};
    std::uint64_t runFirst_ = 0;
    std::uint64_t passed_ = 0;
    SimTime freeAt_{};
};

} // namespace orvane

// Byte deadlines on a paced line; see line_pacer.h.
#include "sim/line_pacer.h"

#include <algorithm>

namespace orvane {

std::chrono::nanoseconds exactWireTime(std::uint64_t bytes, int bitsPerSecond) {
    if (bitsPerSecond <= 0) {
        return std::chrono::nanoseconds{0};
    }
    const std::uint64_t rate = static_cast<std::uint64_t>(bitsPerSecond);
    const std::uint64_t nanos = (bytes * 10u * 1'000'000'000u + rate - 1) / rate;
    return std::chrono::nanoseconds{static_cast<std::chrono::nanoseconds::rep>(nanos)};
}

SimTime LinePacer::pass(std::size_t count, SimTime now, int bitsPerSecond) {
    if (now >= freeAt_ || bitsPerSecond != speed_) {
        runStart_ = std::max(now, freeAt_);
        runFirst_ = passed_;
        speed_ = bitsPerSecond;
    }
    passed_ += count;
    freeAt_ = runStart_ + exactWireTime(passed_ - runFirst_, speed_);
    return freeAt_;
}

SimTime LinePacer::throughAt(std::uint64_t index) const {
    if (index < runFirst_) {
        return runStart_;
    }
    return runStart_ + exactWireTime(index - runFirst_ + 1, speed_);
}

} // namespace orvane

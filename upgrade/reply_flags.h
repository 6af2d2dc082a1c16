// The flags through which the reply receiver tells the upgrade job what the camera said.
// The receiver only raises them (1 or 2), the job only reads and clears them; each is one
// byte stored whole, so relaxed atomics are all the ordering the exchange needs. The signal
// is rung after each raise, for a job that waits for replies rather than polling them.
#pragma once

#include "upgrade/flag_signal.h"

#include <atomic>
#include <cstdint>

namespace orvane {

inline constexpr std::uint8_t blockAccepted = 1;
inline constexpr std::uint8_t blockResend = 2;

struct ReplyFlags {
    std::atomic<std::uint8_t> enterAcknowledged{0};
    std::atomic<std::uint8_t> blockReply{0}; // 0 none, blockAccepted, blockResend
    std::atomic<std::uint8_t> headerRequested{0};
    std::atomic<std::uint8_t> deviceAborted{0};
    FlagSignal raised;
    // Rung by the job after each open, so that a receiver pausing on the closed port can
    // read at once where replies are wanted as soon as they are in.
    FlagSignal portOpened;
};

inline std::uint8_t load(const std::atomic<std::uint8_t>& flag) {
    return flag.load(std::memory_order_relaxed);
}
inline void store(std::atomic<std::uint8_t>& flag, std::uint8_t value) {
    flag.store(value, std::memory_order_relaxed);
}

} // namespace orvane

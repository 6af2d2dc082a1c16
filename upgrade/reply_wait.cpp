#include "upgrade/reply_wait.h"

#include <algorithm>

namespace orvane {

namespace {

// In low-latency waits: how often the owner's cancel and a vanished device are looked at
// when no reply wakes the job (the polling waits look before every pause).
constexpr std::chrono::milliseconds livenessSlice{100};

} // namespace

WaitEnd ReplyWaiter::waitFor(const std::function<bool()>& met, const ReplyWait& wait) {
    return lowLatency_ ? waitPrompt(met, wait) : poll(met, wait);
}

std::optional<WaitEnd> ReplyWaiter::interruption(const ReplyWait& wait) const {
    if (aborted(wait)) {
        return WaitEnd::DeviceAborted;
    }
    if (cancelled()) {
        return WaitEnd::Cancelled;
    }
    if (port_.deviceGone()) {
        return WaitEnd::DeviceGone;
    }
    return std::nullopt;
}

WaitEnd ReplyWaiter::poll(const std::function<bool()>& met, const ReplyWait& wait) {
    if (wait.testedFirst && met()) {
        return WaitEnd::Met;
    }
    for (int pauses = 0; pauses < wait.pauses; ++pauses) {
        if (const auto why = interruption(wait)) {
            return *why;
        }
        clock_.sleepFor(wait.pause);
        if (met()) {
            return WaitEnd::Met;
        }
    }
    return WaitEnd::TimedOut;
}

WaitEnd ReplyWaiter::waitPrompt(const std::function<bool()>& met, const ReplyWait& wait) {
    const auto end = clock_.now() + wait.limit();
    const std::function<bool()> woken = [&] { return met() || aborted(wait) || cancelled(); };
    for (;;) {
        if (met()) {
            return WaitEnd::Met;
        }
        const auto now = clock_.now();
        if (now >= end) {
            return WaitEnd::TimedOut;
        }
        if (const auto why = interruption(wait)) {
            return *why;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now);
        clock_.waitAtMost(woken, std::min(left, livenessSlice), flags_.raised);
    }
}

} // namespace orvane

// How the upgrade job waits for a reply of the camera: by polling the flags at a fixed pause,
// or, with low-latency replies, by sleeping until the reply receiver rings. Both modes keep
// the same time limits and test in the same order in every pass, so a reply, an abort of the
// camera, the owner's cancel and a vanished device end a wait the same way in either.
#pragma once

#include "serial/serial_link.h"
#include "upgrade/clock.h"
#include "upgrade/reply_flags.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

namespace orvane {

// The limits of one wait. The time limit is pause times pauses in either mode.
struct ReplyWait {
    std::chrono::milliseconds pause; // between two tests, when polling
    int pauses = 0;                  // pauses at most
    bool testedFirst = true;         // polling: tested once before the first pause
    bool watchesAbort = false;       // the camera's AbortFrame ends the wait
    constexpr std::chrono::milliseconds limit() const { return pause * pauses; }
};

enum class WaitEnd { Met, TimedOut, DeviceAborted, Cancelled, DeviceGone };

class ReplyWaiter {
  public:
    // cancel may be null (nobody cancels); everything else must outlive the waiter.
    ReplyWaiter(ReplyFlags& flags, Clock& clock, const SerialLink& port, const std::atomic<bool>* cancel,
                bool lowLatency)
        : flags_(flags), clock_(clock), port_(port), cancel_(cancel), lowLatency_(lowLatency) {}

    // Waits in the waiter's mode until met() holds or the wait's limit has passed.
    //
    // Polling, each pass: the count of pauses, then the camera's abort (if watched), the owner's
    // cancel and a vanished device, then a pause, then met(); with testedFirst, met() is tested
    // once before the first pass, so a reply present before the first pause wins over all.
    //
    // Low latency, each pass: met() first (a reply that came with an abort wins, as within one
    // pause), then the limit, then the abort, the cancel and the device in the same order, then
    // a sleep until the receiver's ring, at most 100 ms so the cancel and the device are looked
    // at even when nothing rings.
    WaitEnd waitFor(const std::function<bool()>& met, const ReplyWait& wait);

    bool cancelled() const { return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed); }

  private:
    WaitEnd poll(const std::function<bool()>& met, const ReplyWait& wait);
    WaitEnd waitPrompt(const std::function<bool()>& met, const ReplyWait& wait);
    bool aborted(const ReplyWait& wait) const { return wait.watchesAbort && load(flags_.deviceAborted) == 1; }
    // What ends a wait besides its reply and its limit, in the order both modes test it.
    std::optional<WaitEnd> interruption(const ReplyWait& wait) const;

    ReplyFlags& flags_;
    Clock& clock_;
    const SerialLink& port_;
    const std::atomic<bool>* cancel_;
    const bool lowLatency_;
};

} // namespace orvane

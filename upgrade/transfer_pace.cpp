#include "upgrade/transfer_pace.h"

#include <algorithm>

namespace orvane {

void TransferClock::started(const UpgradeProgress& progress, Clock::time_point now) {
    if (!first_) {
        first_.emplace(now, progress.offset);
    }
}

TransferPace TransferClock::paceAt(const UpgradeProgress& progress, Clock::time_point now) const {
    constexpr double quietSeconds = 0.2;
    TransferPace pace;
    const bool done = progress.percent >= 100;
    if (done) {
        pace.secondsLeft = 0.0;
    }
    if (!first_) {
        return pace;
    }
    const double seconds = std::chrono::duration<double>(now - first_->first).count();
    const std::uint32_t doneBytes = done ? progress.length : progress.offset;
    const double bytes = static_cast<double>(doneBytes - std::min(doneBytes, first_->second));
    if (seconds > quietSeconds && bytes > 0) {
        pace.bytesPerSecond = bytes / seconds;
        if (!done) {
            pace.secondsLeft = static_cast<double>(progress.length - doneBytes) / *pace.bytesPerSecond;
        }
    }
    return pace;
}

} // namespace orvane

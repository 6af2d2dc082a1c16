// How fast an upgrade's blocks go out: bytes a second and the time left, counted from the
// first block's progress, for every front end that shows them.
#pragma once

#include "upgrade/upgrade_job.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <utility>

namespace orvane {

struct TransferPace {
    std::optional<double> bytesPerSecond; // unknown until some bytes have been accepted
    std::optional<double> secondsLeft;    // 0 once the last block is in
};

class TransferClock {
  public:
    using Clock = std::chrono::steady_clock;

    // The first progress starts the count; later ones do not move it.
    void started(const UpgradeProgress& progress, Clock::time_point now);
    // The pace up to now. The bytes are those the camera has accepted since the first block
    // went out; the first fifth of a second says nothing, its rate being mostly noise.
    TransferPace paceAt(const UpgradeProgress& progress, Clock::time_point now) const;
    bool running() const { return first_.has_value(); }

  private:
    std::optional<std::pair<Clock::time_point, std::uint32_t>> first_; // time and offset
};

} // namespace orvane

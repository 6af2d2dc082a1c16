// What a virtual camera keeps for its owner, whatever line it works on: every frame it
// received, in order, and the verdict of the last upgrade. Filled on the camera's thread,
// read from any other.
#pragma once

#include "sim/boot_loader.h"
#include "sim/host_frame.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

namespace orvane {

class CameraRecord {
  public:
    void add(HostFrame frame);
    void setVerdict(UpgradeVerdict verdict);
    // Forgets the frames and the verdict.
    void clear();

    std::vector<HostFrame> frames() const;
    std::vector<HostFrame> frames(HostFrameKind kind) const;
    std::optional<UpgradeVerdict> verdict() const;
    // The last verdict, waiting up to timeout for one if there is none yet.
    std::optional<UpgradeVerdict> waitForVerdict(std::chrono::milliseconds timeout) const;

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<HostFrame> frames_;
    std::optional<UpgradeVerdict> verdict_;
};

} // namespace orvane

#include "sim/camera_record.h"

#include <algorithm>
#include <iterator>

namespace orvane {

void CameraRecord::add(HostFrame frame) {
    const std::lock_guard lock(mutex_);
    frames_.push_back(std::move(frame));
}

void CameraRecord::setVerdict(UpgradeVerdict verdict) {
    {
        const std::lock_guard lock(mutex_);
        verdict_ = std::move(verdict);
    }
    changed_.notify_all();
}

void CameraRecord::clear() {
    const std::lock_guard lock(mutex_);
    frames_.clear();
    verdict_.reset();
}

std::vector<HostFrame> CameraRecord::frames() const {
    const std::lock_guard lock(mutex_);
    return frames_;
}

std::vector<HostFrame> CameraRecord::frames(HostFrameKind kind) const {
    const std::lock_guard lock(mutex_);
    std::vector<HostFrame> some;
    std::copy_if(frames_.begin(), frames_.end(), std::back_inserter(some),
                 [kind](const HostFrame& f) { return f.kind == kind; });
    return some;
}

std::optional<UpgradeVerdict> CameraRecord::verdict() const {
    const std::lock_guard lock(mutex_);
    return verdict_;
}

std::optional<UpgradeVerdict> CameraRecord::waitForVerdict(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [this] { return verdict_.has_value(); });
    return verdict_;
}

} // namespace orvane

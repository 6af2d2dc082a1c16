#include "upgrade/job_slot.h"

namespace orvane {

std::optional<JobSlot> JobSlot::tryTake(SerialLink& port) {
    if (!port.tryHold()) {
        return std::nullopt;
    }
    return JobSlot(port);
}

JobSlot::JobSlot(JobSlot&& other) noexcept : port_(other.port_) {
    other.port_ = nullptr;
}

JobSlot::~JobSlot() {
    if (port_ != nullptr) {
        port_->release();
    }
}

} // namespace orvane

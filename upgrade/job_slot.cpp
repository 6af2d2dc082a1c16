#include "upgrade/job_slot.h"

#include <atomic>

namespace orvane {
namespace {
std::atomic<bool> slotTaken{false};
}

std::optional<JobSlot> JobSlot::tryTake() {
    bool expected = false;
    if (!slotTaken.compare_exchange_strong(expected, true, std::memory_order_acq_rel)) {
        return std::nullopt;
    }
    return JobSlot{};
}

bool JobSlot::taken() {
    return slotTaken.load(std::memory_order_acquire);
}

JobSlot::JobSlot(JobSlot&& other) noexcept : held_(other.held_) {
    other.held_ = false;
}

JobSlot::~JobSlot() {
    if (held_) {
        slotTaken.store(false, std::memory_order_release);
    }
}

} // namespace orvane

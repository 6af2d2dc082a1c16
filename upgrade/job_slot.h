// One upgrade at a time: there is one port, one set of reply flags and one upgradeTarget,
// so a second job would interleave its frames with the first and steal its replies. A job
// runs only while it holds the process's one slot.
#pragma once

#include <optional>

namespace orvane {

class JobSlot {
public:
    // The slot, or nothing while another job holds it.
    static std::optional<JobSlot> tryTake();
    static bool taken();

    JobSlot(JobSlot&& other) noexcept;
    JobSlot& operator=(JobSlot&&) = delete;
    JobSlot(const JobSlot&) = delete;
    JobSlot& operator=(const JobSlot&) = delete;
    ~JobSlot();

private:
    JobSlot() = default;
    bool held_ = true;
};

} // namespace orvane

// One upgrade at a time on a line: a port has one receiver and one set of reply flags, so a
// second job on it would interleave its frames with the first and steal its replies. A job
// runs only while it holds its port; jobs on other ports run beside it.
#pragma once

#include "serial/serial_link.h"

#include <optional>

namespace orvane {

class JobSlot {
  public:
    // The port's slot, or nothing while another job holds it.
    static std::optional<JobSlot> tryTake(SerialLink& port);

    JobSlot(JobSlot&& other) noexcept;
    JobSlot& operator=(JobSlot&&) = delete;
    JobSlot(const JobSlot&) = delete;
    JobSlot& operator=(const JobSlot&) = delete;
    ~JobSlot();

  private:
    explicit JobSlot(SerialLink& port) : port_(&port) {}
    SerialLink* port_;
};

} // namespace orvane

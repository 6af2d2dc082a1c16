// The eventfd behind EventFdWake.
#include "ui/qt/event_fd_wake.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>

namespace orvane {

EventFdWake::EventFdWake(std::function<void()> onWake)
    : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), onWake_(std::move(onWake)) {
    if (fd_ < 0) {
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
        drain();
        onWake_();
    });
}

EventFdWake::~EventFdWake() {
    notifier_.reset();
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool EventFdWake::ring() {
    const std::uint64_t one = 1;
    return fd_ >= 0 && ::write(fd_, &one, sizeof one) == static_cast<ssize_t>(sizeof one);
}

void EventFdWake::drain() {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto read = ::read(fd_, &count, sizeof count);
}

} // namespace orvane

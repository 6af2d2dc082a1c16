// The dialog's call queue, woken through an eventfd.
#include "ui/qt/dialog_thread_bridge.h"

#include <QSocketNotifier>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace orvane {

DialogThreadBridge::DialogThreadBridge(QObject* parent)
    : QObject(parent), eventFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), queue_([this] { return wake(); }) {
    if (eventFd_ >= 0) {
        notifier_ = new QSocketNotifier(eventFd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] {
            drainWakeups();
            runPending();
        });
    }
}

DialogThreadBridge::~DialogThreadBridge() {
    shutDown();
    delete notifier_;
    if (eventFd_ >= 0) {
        ::close(eventFd_);
    }
}

bool DialogThreadBridge::call(std::function<void()> task) {
    return queue_.call(std::move(task));
}

void DialogThreadBridge::post(std::function<void()> task) {
    queue_.post(std::move(task));
}

void DialogThreadBridge::runPending() {
    queue_.runPending();
}

void DialogThreadBridge::shutDown() {
    queue_.shutDown();
}

bool DialogThreadBridge::wake() {
    const std::uint64_t one = 1;
    return eventFd_ >= 0 && ::write(eventFd_, &one, sizeof one) == static_cast<ssize_t>(sizeof one);
}

void DialogThreadBridge::drainWakeups() {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto read = ::read(eventFd_, &count, sizeof count);
}

} // namespace orvane

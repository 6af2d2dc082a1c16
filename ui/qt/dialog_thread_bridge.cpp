// The queue of calls waiting for the dialog thread, woken through an eventfd.
#include "ui/qt/dialog_thread_bridge.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include <QSocketNotifier>

namespace orvane {

DialogThreadBridge::DialogThreadBridge(QObject* parent)
    : QObject(parent), owner_(std::this_thread::get_id()), eventFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
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
    if (std::this_thread::get_id() == owner_) {
        {
            const std::lock_guard lock(mutex_);
            if (closed_) {
                return false;
            }
        }
        task();
        return true;
    }
    auto pending = std::make_shared<Pending>();
    pending->task = std::move(task);
    std::unique_lock lock(mutex_);
    if (closed_ || eventFd_ < 0) {
        return false;
    }
    queue_.push_back(pending);
    lock.unlock();
    wake();
    lock.lock();
    finished_.wait(lock, [&] { return pending->finished; });
    return pending->ran;
}

void DialogThreadBridge::runPending() {
    for (;;) {
        std::shared_ptr<Pending> next;
        {
            const std::lock_guard lock(mutex_);
            if (queue_.empty() || closed_) {
                return;
            }
            next = queue_.front();
            queue_.pop_front();
        }
        next->task();
        {
            const std::lock_guard lock(mutex_);
            next->ran = true;
            next->finished = true;
        }
        finished_.notify_all();
    }
}

void DialogThreadBridge::shutDown() {
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        for (const auto& pending : queue_) {
            pending->finished = true;
        }
        queue_.clear();
    }
    finished_.notify_all();
}

void DialogThreadBridge::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(eventFd_, &one, sizeof one);
}

void DialogThreadBridge::drainWakeups() {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto read = ::read(eventFd_, &count, sizeof count);
}

} // namespace orvane

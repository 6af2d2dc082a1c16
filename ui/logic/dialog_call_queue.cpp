// The queue of calls waiting for the dialog thread.
#include "ui/logic/dialog_call_queue.h"

#include <utility>

namespace orvane {

DialogCallQueue::DialogCallQueue(Wake wake) : owner_(std::this_thread::get_id()), wake_(std::move(wake)) {}

DialogCallQueue::~DialogCallQueue() {
    shutDown();
}

bool DialogCallQueue::enqueue(const std::shared_ptr<Call>& call) {
    const std::lock_guard lock(mutex_);
    if (closed_) {
        return false;
    }
    queue_.push_back(call);
    if (!wake_()) {
        queue_.pop_back();
        return false;
    }
    return true;
}

bool DialogCallQueue::call(std::function<void()> task) {
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
    auto call = std::make_shared<Call>();
    call->task = std::move(task);
    if (!enqueue(call)) {
        return false;
    }
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [&] { return call->finished; });
    return call->ran;
}

void DialogCallQueue::post(std::function<void()> task) {
    auto call = std::make_shared<Call>();
    call->task = std::move(task);
    enqueue(call);
}

void DialogCallQueue::runPending() {
    for (;;) {
        std::shared_ptr<Call> next;
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

bool DialogCallQueue::pending() {
    const std::lock_guard lock(mutex_);
    return !queue_.empty();
}

void DialogCallQueue::shutDown() {
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        for (const auto& call : queue_) {
            call->finished = true;
        }
        queue_.clear();
    }
    finished_.notify_all();
}

} // namespace orvane

#include "dashboard/bounded_pool.h"

namespace orvane {
namespace {

thread_local bool inlineTask = false;

} // namespace

bool BoundedPool::servingInline() {
    return inlineTask;
}

BoundedPool::BoundedPool(std::size_t threads, std::size_t queued) : queued_(queued) {
    for (std::size_t i = 0; i < threads; ++i) {
        threads_.emplace_back([this] { work(); });
    }
}

BoundedPool::~BoundedPool() {
    shutdown();
}

void BoundedPool::enqueue(std::function<void()> task) {
    {
        std::unique_lock lock(mutex_);
        if (tasks_.size() >= queued_ + idle_) {
            lock.unlock();
            inlineTask = true;
            task();
            inlineTask = false;
            return;
        }
        tasks_.push_back(std::move(task));
    }
    ready_.notify_one();
}

void BoundedPool::shutdown() {
    {
        const std::lock_guard lock(mutex_);
        if (shutdown_) {
            return;
        }
        shutdown_ = true;
    }
    ready_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

void BoundedPool::work() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            ++idle_;
            ready_.wait(lock, [this] { return shutdown_ || !tasks_.empty(); });
            --idle_;
            if (tasks_.empty()) {
                return; // shut down with nothing left to serve
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

} // namespace orvane

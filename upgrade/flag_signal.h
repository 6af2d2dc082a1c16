// A wake-up call from the reply receiver to a job that waits for a flag: rung after a flag
// has been raised, so the job sees a reply as soon as it is in rather than at its next poll.
// Ringing costs a lock and a notify; nobody has to listen.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace orvane {

class FlagSignal {
  public:
    // After the flag has been stored: a waiter that tested before the ring is woken, one that
    // tests after it sees the store (the lock orders the two).
    void ring() {
        {
            const std::lock_guard lock(mutex_);
            ++rings_;
        }
        rung_.notify_all();
    }

    // Waits until met() holds or timeout has passed, testing at every ring; answers met().
    template <typename Condition> bool waitFor(Condition met, std::chrono::nanoseconds timeout) {
        std::unique_lock lock(mutex_);
        return rung_.wait_for(lock, timeout, met);
    }

    std::uint64_t rings() const {
        const std::lock_guard lock(mutex_);
        return rings_;
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable rung_;
    std::uint64_t rings_ = 0;
};

} // namespace orvane

// A clock for tests: sleeping advances virtual time at once, so ten-second protocol limits
// take microseconds. Things a test wants to happen "later" (a camera's reply, a user's
// cancel) are scheduled on it and run inside the sleep or the wait that reaches their time.
#pragma once

#include "upgrade/clock.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <stop_token>
#include <utility>
#include <vector>

namespace orvane::testing {

class FakeClock final : public Clock {
  public:
    using milliseconds = std::chrono::milliseconds;
    using time_point = std::chrono::steady_clock::time_point;

    // Advances by duration, records the pause, then runs every event due by the new time in
    // time order (outside the clock's lock, so events may schedule more events), then the hook.
    void sleepFor(milliseconds duration) override {
        std::function<void(milliseconds)> hook;
        {
            const std::lock_guard lock(mutex_);
            elapsed_ += duration;
            pauses_.push_back(duration);
            hook = onSleep_;
        }
        runDue();
        if (hook) {
            hook(duration);
        }
    }

    time_point now() const override {
        const std::lock_guard lock(mutex_);
        return start() + elapsed_;
    }

    bool sleepUnlessStopped(milliseconds duration, const std::stop_token& stop) override {
        if (stop.stop_requested()) {
            return false;
        }
        sleepFor(duration);
        return !stop.stop_requested();
    }

    // A wait for a flag on virtual time: runs the events due one at a time (each may be the
    // one the wait is for), testing met() after each; with none due it jumps to the next
    // event or to the end of the wait. The signal is not needed: only events change things.
    bool waitAtMost(const std::function<bool()>& met, milliseconds timeout, FlagSignal&) override {
        milliseconds end;
        {
            const std::lock_guard lock(mutex_);
            end = elapsed_ + timeout;
            ++waits_;
        }
        for (;;) {
            const bool ran = runOneDue();
            if (met()) {
                return true;
            }
            if (ran) {
                continue;
            }
            const std::lock_guard lock(mutex_);
            if (elapsed_ >= end) {
                return false;
            }
            elapsed_ =
                events_.empty() ? end : std::min(end, std::max(elapsed_, events_.begin()->first.first));
        }
    }

    // A pause that woken() may end early: the events due within it run at their own moments,
    // and the first after which woken() holds ends the pause there, recorded as that long.
    // The signal is not needed: only events change things.
    bool sleepUnlessWoken(milliseconds duration, const std::stop_token& stop, FlagSignal&,
                          const std::function<bool()>& woken) override {
        if (stop.stop_requested()) {
            return false;
        }
        milliseconds begin;
        {
            const std::lock_guard lock(mutex_);
            begin = elapsed_;
        }
        bool early = woken();
        while (!early && runNextBy(begin + duration)) {
            early = woken();
        }
        milliseconds paused;
        std::function<void(milliseconds)> hook;
        {
            const std::lock_guard lock(mutex_);
            elapsed_ = early ? elapsed_ : std::max(elapsed_, begin + duration);
            paused = elapsed_ - begin;
            pauses_.push_back(paused);
            hook = onSleep_;
        }
        if (hook) {
            hook(paused);
        }
        return !stop.stop_requested();
    }

    // How many waits for a flag were made (not counted among the pauses).
    std::size_t waits() const {
        const std::lock_guard lock(mutex_);
        return waits_;
    }

    // Runs fn during the first sleep that reaches now + delay; a delay of 0 means "at the
    // next sleep". Events due at the same time run in the order they were scheduled.
    void after(milliseconds delay, std::function<void()> fn) {
        const std::lock_guard lock(mutex_);
        events_.emplace(std::make_pair(elapsed_ + delay, sequence_++), std::move(fn));
    }

    // Called after every sleep with its duration, e.g. to stop a loop after some passes.
    void onSleep(std::function<void(milliseconds)> hook) {
        const std::lock_guard lock(mutex_);
        onSleep_ = std::move(hook);
    }

    // Virtual time since the clock was made.
    milliseconds elapsed() const {
        const std::lock_guard lock(mutex_);
        return elapsed_;
    }

    std::vector<milliseconds> pauses() const {
        const std::lock_guard lock(mutex_);
        return pauses_;
    }

    std::size_t pauseCount(milliseconds duration) const {
        const std::lock_guard lock(mutex_);
        return static_cast<std::size_t>(std::count(pauses_.begin(), pauses_.end(), duration));
    }

  private:
    static time_point start() { return time_point{} + std::chrono::hours(1); }

    void runDue() {
        while (runOneDue()) {
        }
    }

    // Runs the next event if it is due by end, with the time moved on to it first.
    bool runNextBy(milliseconds end) {
        std::function<void()> fn;
        {
            const std::lock_guard lock(mutex_);
            if (events_.empty() || events_.begin()->first.first > end) {
                return false;
            }
            elapsed_ = std::max(elapsed_, events_.begin()->first.first);
            fn = std::move(events_.begin()->second);
            events_.erase(events_.begin());
        }
        fn();
        return true;
    }

    bool runOneDue() {
        std::function<void()> fn;
        {
            const std::lock_guard lock(mutex_);
            if (events_.empty() || events_.begin()->first.first > elapsed_) {
                return false;
            }
            fn = std::move(events_.begin()->second);
            events_.erase(events_.begin());
        }
        fn();
        return true;
    }

    mutable std::mutex mutex_;
    milliseconds elapsed_{0};
    std::vector<milliseconds> pauses_;
    std::map<std::pair<milliseconds, unsigned long>, std::function<void()>> events_;
    unsigned long sequence_ = 0;
    std::size_t waits_ = 0;
    std::function<void(milliseconds)> onSleep_;
};

} // namespace orvane::testing

#include "sim/memory_line.h"

#include "serial/port_timing.h"
#include "sim/line_pacer.h"

#include <algorithm>
#include <cerrno>
#include <thread>

namespace orvane {

int MemoryLine::openPort(std::string_view, int baudRate, int, int, int) {
    {
        const std::lock_guard lock(mutex_);
        if (shut_) {
            lastError_ = ENOENT; // the camera has gone
            return 0;
        }
        lastError_ = 0;
        speed_ = baudRate;
        ++opens_;
        open_ = true;
    }
    changed_.notify_all();
    return 1;
}

int MemoryLine::closePort() {
    {
        const std::lock_guard lock(mutex_);
        ++opens_;
        open_ = false;
        if (strict_) {
            toHost_.clear();
        }
    }
    changed_.notify_all();
    return 1;
}

int MemoryLine::lastError() const {
    const std::lock_guard lock(mutex_);
    return lastError_;
}

int MemoryLine::writePort(std::span<const std::uint8_t> bytes) {
    int speed = 0;
    {
        const std::lock_guard lock(mutex_);
        if (!open_ || shut_ || bytes.empty()) {
            return 0;
        }
        speed = speed_;
    }
    pace(bytes.size(), speed);
    {
        const std::lock_guard lock(mutex_);
        toCamera_.push_back({std::vector<std::uint8_t>(bytes.begin(), bytes.end()), speed});
    }
    changed_.notify_all();
    return static_cast<int>(bytes.size());
}

// As a port's read: nothing waiting, it waits up to the total limit; bytes in, it ends 100 ms
// after the last one or at once in the low-latency mode; a close ends it with what it has.
int MemoryLine::readPort(std::span<std::uint8_t> buffer) {
    if (buffer.empty()) {
        return 0;
    }
    const bool prompt = readMode() == ReadMode::LowLatency;
    const Deadline total = Deadline::after(readTotalLimit(buffer.size()));
    std::unique_lock lock(mutex_);
    if (!open_ || shut_) {
        return 0;
    }
    const std::uint64_t session = opens_;
    const auto ended = [&] { return opens_ != session || shut_; };
    auto until = total.end();
    std::size_t received = 0;
    while (received < buffer.size()) {
        if (!changed_.wait_until(lock, until, [&] { return !toHost_.empty() || ended(); }) || ended()) {
            break;
        }
        while (!toHost_.empty() && received < buffer.size()) {
            buffer[received++] = toHost_.front();
            toHost_.pop_front();
        }
        if (prompt) {
            break;
        }
        until = std::min(total.end(), TransferClock::now() + readIntervalTimeout);
    }
    return static_cast<int>(received);
}

std::vector<LineChunk> MemoryLine::takeFromHost(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    changed_.wait_until(lock, deadline, [this] { return !toCamera_.empty() || shut_; });
    std::vector<LineChunk> chunks(std::make_move_iterator(toCamera_.begin()),
                                  std::make_move_iterator(toCamera_.end()));
    toCamera_.clear();
    return chunks;
}

bool MemoryLine::sendToHost(std::span<const std::uint8_t> bytes, int speed) {
    pace(bytes.size(), speed);
    {
        const std::lock_guard lock(mutex_);
        if (strict_ && !open_) {
            return false;
        }
        toHost_.insert(toHost_.end(), bytes.begin(), bytes.end());
    }
    changed_.notify_all();
    return true;
}

int MemoryLine::hostSpeed() const {
    const std::lock_guard lock(mutex_);
    return open_ ? speed_ : 0;
}

bool MemoryLine::waitForHostAt(int speed, std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    return changed_.wait_until(lock, deadline, [&] { return shut_ || (open_ && speed_ == speed); }) && !shut_;
}

void MemoryLine::idleUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    changed_.wait_until(lock, deadline, [this] { return shut_; });
}

void MemoryLine::shut() {
    {
        const std::lock_guard lock(mutex_);
        shut_ = true;
    }
    changed_.notify_all();
}

bool MemoryLine::isShut() const {
    const std::lock_guard lock(mutex_);
    return shut_;
}

void MemoryLine::pace(std::size_t count, int speed) {
    if (pacing_) {
        std::this_thread::sleep_for(exactWireTime(count, speed));
    }
}

} // namespace orvane

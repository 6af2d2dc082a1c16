// How far the running attempts have come, written about once a second on a thread of its own:
// the job's thread only notes its numbers, and a process killed mid-attempt leaves its step and
// block behind rather than a bare "running".
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace orvane {

// One attempt whose progress may want writing; asked on the writer's thread.
class ProgressSource {
  public:
    virtual ~ProgressSource() = default;
    // Writes the attempt's progress if it moved since the last write and is still running.
    virtual void writeProgress() = 0;
};

class ProgressWriter {
  public:
    explicit ProgressWriter(std::chrono::milliseconds every = std::chrono::seconds(1)) : every_(every) {}
    ~ProgressWriter();
    ProgressWriter(const ProgressWriter&) = delete;
    ProgressWriter& operator=(const ProgressWriter&) = delete;

    // The writer's thread starts with the first source.
    void add(ProgressSource& source);
    // Waits for a write of this source under way: once it returns, the source is never asked again.
    void remove(ProgressSource& source);

  private:
    void run(const std::stop_token& stop);

    const std::chrono::milliseconds every_;
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::vector<ProgressSource*> sources_;
    std::jthread thread_; // last: stopped and joined before the rest goes
};

} // namespace orvane

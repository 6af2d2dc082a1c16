// The labels read and not yet given to a camera: first read, first given, each only within its
// window after its reading. A label left longer belongs to a camera that never came (or was
// scanned twice), so it is dropped rather than stuck on the next camera of another unit.
#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

class LabelQueue {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;

    explicit LabelQueue(std::chrono::steady_clock::duration window) : window_(window) {}

    void push(std::string label, TimePoint readAt);
    // The labels read longer than the window before now, oldest first; they leave the queue.
    std::vector<std::string> expire(TimePoint now);
    // The oldest label still within its window at now; it leaves the queue. Those past their
    // window leave too, unsaid: expire first to hear of them.
    std::optional<std::string> take(TimePoint now);
    std::size_t size() const { return labels_.size(); }

  private:
    struct Read {
        std::string label;
        TimePoint at;
    };
    std::chrono::steady_clock::duration window_;
    std::deque<Read> labels_;
};

} // namespace orvane

#include "station/label_queue.h"

namespace orvane {

void LabelQueue::push(std::string label, TimePoint readAt) {
    labels_.push_back({std::move(label), readAt});
}

std::vector<std::string> LabelQueue::expire(TimePoint now) {
    std::vector<std::string> dropped;
    while (!labels_.empty() && now - labels_.front().at > window_) {
        dropped.push_back(std::move(labels_.front().label));
        labels_.pop_front();
    }
    return dropped;
}

std::optional<std::string> LabelQueue::take(TimePoint now) {
    expire(now);
    if (labels_.empty()) {
        return std::nullopt;
    }
    std::string label = std::move(labels_.front().label);
    labels_.pop_front();
    return label;
}

} // namespace orvane

#include "attempts/progress_writer.h"

#include <algorithm>

namespace orvane {

ProgressWriter::~ProgressWriter() {
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
}

void ProgressWriter::add(ProgressSource& source) {
    const std::lock_guard lock(mutex_);
    sources_.push_back(&source);
    if (!thread_.joinable()) {
        thread_ = std::jthread([this](const std::stop_token& stop) { run(stop); });
    }
}

void ProgressWriter::remove(ProgressSource& source) {
    const std::lock_guard lock(mutex_);
    std::erase(sources_, &source);
}

void ProgressWriter::run(const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        // Nothing wakes it early but the stop: the sources' numbers change without a word.
        (void)wake_.wait_for(lock, stop, every_, [] { return false; });
        if (stop.stop_requested()) {
            break;
        }
        // Written under the lock, so a source being removed waits for its write to end.
        for (ProgressSource* source : sources_) {
            source->writeProgress();
        }
    }
}

} // namespace orvane

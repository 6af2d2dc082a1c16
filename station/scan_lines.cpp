#include "station/label_source.h"

#include <utility>

namespace orvane {

void ScanLines::endLine() {
    if (!partial_.empty()) {
        lines_.push_back(std::move(partial_));
    }
    partial_.clear();
    overlong_ = false;
}

void ScanLines::feed(std::span<const char> bytes) {
    const std::lock_guard lock(mutex_);
    for (const char byte : bytes) {
        if (byte == '\r' || byte == '\n') {
            endLine();
        } else if (!overlong_ && partial_.size() < maxBytes) {
            partial_ += byte;
        } else if (!overlong_) {
            overlong_ = true;
            // Not inside a character: the cut line must still read as the too long label it is.
            while (!partial_.empty() && (static_cast<unsigned char>(partial_.back()) & 0xC0) == 0x80) {
                partial_.pop_back();
            }
            if (!partial_.empty() && (static_cast<unsigned char>(partial_.back()) & 0x80) != 0) {
                partial_.pop_back();
            }
        }
    }
}

std::vector<std::string> ScanLines::takeLines() {
    const std::lock_guard lock(mutex_);
    return std::exchange(lines_, {});
}

} // namespace orvane

// A station's unit labels on their way to the cameras: lines from its source checked, queued
// first read first given within their window, and what became of each told to the front.
#pragma once

#include "station/label_queue.h"
#include "station/label_source.h"
#include "text/text_language.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

struct LabelNote {
    enum class Kind : std::uint8_t { Read, Refused, Dropped };
    Kind kind = Kind::Read;
    std::string text; // the label read or dropped; for a refusal, why
};

class UnitLabels {
  public:
    // source: null, none are read.
    UnitLabels(LabelSource* source, std::chrono::seconds window, TextLanguage language)
        : source_(source), queue_(window), language_(language) {}

    // Takes the source's new lines into the queue; answers what to say of them and of the
    // labels that have passed their window meanwhile.
    std::vector<LabelNote> read(LabelQueue::TimePoint now);
    std::optional<std::string> take(LabelQueue::TimePoint now) { return queue_.take(now); }

  private:
    LabelSource* source_;
    LabelQueue queue_;
    TextLanguage language_;
};

} // namespace orvane

#include "station/unit_labels.h"

#include "station/unit_label.h"

namespace orvane {

std::vector<LabelNote> UnitLabels::read(LabelQueue::TimePoint now) {
    std::vector<LabelNote> notes;
    for (std::string& label : queue_.expire(now)) {
        notes.push_back({LabelNote::Kind::Dropped, std::move(label)});
    }
    if (source_ == nullptr) {
        return notes;
    }
    for (const std::string& line : source_->takeLines()) {
        LabelCheck check = checkUnitLabel(line, language_);
        if (!check.label) {
            notes.push_back({LabelNote::Kind::Refused, std::move(check.refusal)});
            continue;
        }
        notes.push_back({LabelNote::Kind::Read, *check.label});
        queue_.push(std::move(*check.label), now);
    }
    return notes;
}

} // namespace orvane

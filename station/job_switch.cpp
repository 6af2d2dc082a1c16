#include "station/job_switch.h"

namespace orvane {

JobSwitch::JobSwitch(JobSource& source, std::shared_ptr<const ReleasedJob> first, JobStart start)
    : source_(source), current_(std::move(first)), retired_(start.retired), unanswered_(!start.answering) {}

std::shared_ptr<const ReleasedJob> JobSwitch::forNewPlug() const {
    return retired_ ? nullptr : current_;
}

std::vector<JobNote> JobSwitch::look() {
    JobLook look = source_.look();
    std::vector<JobNote> notes;
    if (look.kind == JobLook::Kind::Unanswered) {
        if (!unanswered_) {
            notes.push_back({JobNote::Kind::Unanswered, current_, look.reason});
        }
        unanswered_ = true;
        return notes;
    }
    if (unanswered_) {
        notes.push_back({JobNote::Kind::Answered, current_});
        unanswered_ = false;
    }
    if (look.kind == JobLook::Kind::Refused) {
        if (refused_ != look.reason) {
            notes.push_back({JobNote::Kind::Refused, current_, look.reason});
        }
        refused_ = look.reason;
        return notes;
    }
    refused_.reset();
    if (look.kind == JobLook::Kind::Retired) {
        if (!retired_) {
            notes.push_back({JobNote::Kind::Retired, current_});
        }
        retired_ = true;
        return notes;
    }
    const bool newer = !current_ || current_->version != look.job->version ||
                       current_->image.sha256 != look.job->image.sha256;
    if (newer || retired_) {
        current_ = std::move(look.job);
        notes.push_back({JobNote::Kind::Taken, current_});
    }
    retired_ = false;
    return notes;
}

} // namespace orvane

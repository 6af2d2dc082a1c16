#include "station/station_job.h"

#include "text/string_table.h"
#include "text/text_ids.h"

namespace orvane {

StationJob::StationJob(const StationJobSetup& setup, std::string port, std::string slot, StationState& state,
                       std::unique_ptr<UpgradeLog> front)
    : setup_(setup), port_(std::move(port)), front_(std::move(front)), inputs_(setup, port_),
      tap_(front_.get(), state, std::move(slot)), receiver_(link_, flags_, clock_),
      worker_(link_, flags_, clock_, inputs_, tap_) {}

StationJob::~StationJob() {
    worker_.cancel();
    finish();
}

bool StationJob::beginRecord() {
    if (setup_.records == nullptr) {
        return true;
    }
    auto firstTrouble = std::make_shared<std::string>();
    const bool required = setup_.recordsRequired;
    recorder_ = setup_.records->begin(
        AttemptFacts{port_, setup_.image->path, setup_.lineSpeed, setup_.upgradeSpeed, setup_.address,
                     setup_.settings.target, setup_.settings.lowLatency},
        [firstTrouble, port = port_, tell = setup_.recordTrouble](const RecordTroubleNote& note) {
            if (!note.waiting) {
                *firstTrouble = note.reason;
            }
            if (tell) {
                tell(port, note);
            }
        });
    if (!required || recorder_->startKept()) {
        return true;
    }
    UpgradeOutcome refused;
    refused.reason = UpgradeReason::InternalError;
    refused.reasonText = fillText(textOf(IDS_RECORDS_REQUIRED, setup_.settings.language), {*firstTrouble});
    refused_ = refused;
    recorder_.reset();
    return false;
}

void StationJob::start() {
    if (!beginRecord()) {
        return;
    }
    started_ = std::chrono::steady_clock::now();
    worker_.start(
        setup_.settings,
        [this](const UpgradeOutcome& outcome) {
            seconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
            if (recorder_) {
                recorder_->complete(outcome);
            }
        },
        recorder_.get());
}

bool StationJob::running() const {
    return worker_.running();
}

void StationJob::cancel() {
    worker_.cancel();
}

UpgradeOutcome StationJob::finish() {
    if (refused_) {
        return *refused_;
    }
    const UpgradeOutcome outcome = worker_.wait();
    // Closing first wakes the receiver's read at once, so the stop does not wait it out.
    link_.closePort();
    receiver_.stop();
    return outcome;
}

} // namespace orvane

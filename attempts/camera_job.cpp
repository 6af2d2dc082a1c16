#include "attempts/camera_job.h"

#include "serial/serial_port.h"
#include "text/string_table.h"
#include "text/text_ids.h"
#include "upgrade/reply_receiver.h"

namespace orvane {

// Members end in reverse order: the receiver before the port it reads.
struct CameraJob::OwnLine {
    explicit OwnLine(SerialLink* given)
        : port(given != nullptr ? nullptr : std::make_unique<SerialPort>()),
          link(given != nullptr ? *given : *port), receiver(link, flags, clock) {}

    std::unique_ptr<SerialPort> port; // unless the owner brought the line
    SerialLink& link;
    ReplyFlags flags;
    SystemClock clock;
    ReplyReceiver receiver;
};

CameraJob::CameraJob(UpgradeInputs& inputs, UpgradeLog& log, SerialLink* given)
    : own_(std::make_unique<OwnLine>(given)), line_{own_->link, own_->flags, own_->clock}, log_(log),
      worker_(line_.link, line_.flags, line_.clock, inputs, log) {}

CameraJob::CameraJob(CameraLine line, UpgradeInputs& inputs, UpgradeLog& log)
    : line_(line), log_(log), worker_(line_.link, line_.flags, line_.clock, inputs, log) {}

CameraJob::~CameraJob() {
    worker_.cancel();
    finish();
}

bool CameraJob::beginRecord(const CameraJobSetup& setup) {
    recorder_.reset();
    refused_.reset();
    if (setup.records == nullptr) {
        return true;
    }
    struct Notice {
        bool held = false; // a failed start is the refusal's to say
        std::string reason;
    };
    auto notice = std::make_shared<Notice>(Notice{setup.recordsRequired, {}});
    recorder_ = setup.records->begin(setup.facts,
                                     [notice, tell = setup.recordTrouble](const RecordTroubleNote& note) {
                                         if (notice->held && !note.waiting) {
                                             notice->reason = note.reason;
                                         } else if (tell) {
                                             tell(note);
                                         }
                                     });
    const bool refused = notice->held && !recorder_->startKept();
    notice->held = false;
    if (!refused) {
        return true;
    }
    recorder_.reset();
    refused_ = UpgradeOutcome{
        .ending = UpgradeEnding::Unusable,
        .reason = UpgradeReason::RecordsNotKept,
        .reasonText = fillText(textOf(IDS_RECORDS_REQUIRED, setup.settings.language), {notice->reason})};
    log_.reason(refused_->reasonText);
    return false;
}

bool CameraJob::start(const CameraJobSetup& setup) {
    if (worker_.running()) {
        return worker_.start(setup.settings); // refused, with its line in the log
    }
    if (!beginRecord(setup)) {
        return false;
    }
    started_ = std::chrono::steady_clock::now();
    const bool started = worker_.start(
        setup.settings,
        [this, ended = setup.ended](const UpgradeOutcome& outcome) {
            seconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
            if (recorder_) {
                recorder_->complete(outcome);
            }
            if (ended) {
                ended(outcome);
            }
        },
        recorder_.get());
    if (!started && recorder_) {
        // Another job holds the port: this attempt sent nothing.
        recorder_->complete(
            UpgradeOutcome{.ending = UpgradeEnding::Unusable,
                           .step = UpgradeStep::Port,
                           .reason = UpgradeReason::PortUnusable,
                           .reasonText = std::string(textOf(IDS_JOB_BUSY, setup.settings.language))});
    }
    return started;
}

UpgradeOutcome CameraJob::finish() {
    if (refused_) {
        return *refused_;
    }
    const UpgradeOutcome outcome = worker_.wait();
    if (own_) {
        // Closing first wakes the receiver's read at once, so the stop does not wait it out.
        own_->link.closePort();
        own_->receiver.stop();
    }
    return outcome;
}

} // namespace orvane

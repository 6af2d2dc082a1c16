// One camera's recorded upgrade, as every front end runs it: the job on a thread of its own,
// on a line of its own (port, reply flags, clock, reply receiver) or on one its owner lends,
// its record begun as it starts and completed as it ends, and one rule for a record that
// cannot be kept.
#pragma once

#include "attempts/records_book.h"
#include "serial/serial_link.h"
#include "upgrade/clock.h"
#include "upgrade/reply_flags.h"
#include "upgrade/upgrade_worker.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace orvane {

// A line its owner keeps open across jobs with its reply receiver running (the dialog's).
struct CameraLine {
    SerialLink& link;
    ReplyFlags& flags;
    Clock& clock;
};

struct CameraJobSetup {
    UpgradeSettings settings{};
    AttemptFacts facts{};           // what the record keeps of the choices
    RecordsBook* records = nullptr; // null: nothing is kept
    // Records required: an attempt whose running record cannot be kept is not begun. It ends
    // unusable with IDS_RECORDS_REQUIRED as its reason, and nothing is sent.
    bool recordsRequired = false;
    // Told (on any thread) why a record is not where it was asked to be; a refusal's own
    // trouble is said by the refusal instead.
    RecordTrouble recordTrouble{};
    // Called on the job's thread as it ends, its record completed.
    std::function<void(const UpgradeOutcome& outcome)> ended{};
};

// The user's choices fixed for the whole job, as the command line and the station give them.
class FixedInputs final : public UpgradeInputs {
  public:
    // image: the bytes read (and checked) before the job, sent instead of reading the file.
    FixedInputs(AttemptFacts facts, std::optional<std::span<const std::uint8_t>> image)
        : facts_(std::move(facts)), image_(image) {}
    std::optional<std::string> imagePath() override { return facts_.imagePath; }
    std::optional<std::string> portName() override { return facts_.port; }
    std::optional<int> lineSpeed() override { return facts_.lineSpeed; }
    std::optional<int> address() override { return facts_.address; }
    std::optional<int> upgradeSpeed() override { return facts_.upgradeSpeed; }
    std::optional<std::span<const std::uint8_t>> loadedImage() override { return image_; }
    const AttemptFacts& facts() const { return facts_; }

  private:
    AttemptFacts facts_;
    std::optional<std::span<const std::uint8_t>> image_;
};

class CameraJob {
  public:
    // On a line of its own: the serial port the inputs name, or given (which must outlive the
    // job), with its own reply flags, clock and receiver; one job a line.
    CameraJob(UpgradeInputs& inputs, UpgradeLog& log, SerialLink* given = nullptr);
    // On the owner's line, one job after another.
    CameraJob(CameraLine line, UpgradeInputs& inputs, UpgradeLog& log);
    // Gives a running job up (the camera hears the AbortFrame) and waits for it.
    ~CameraJob();
    CameraJob(const CameraJob&) = delete;
    CameraJob& operator=(const CameraJob&) = delete;

    // Begins the record, then the job on its thread. False when nothing started: a job still
    // runs (a line in the log says so), another job holds the port (the record, if any, says
    // so too), or the records rule refused it (its reason in the log; finish() answers it).
    bool start(const CameraJobSetup& setup);
    bool running() const { return worker_.running(); }
    void cancel() { worker_.cancel(); }
    // Waits for the job, lets a line of its own go, and answers how the last attempt ended.
    UpgradeOutcome finish();
    // From the job's start to its end; read after finish().
    double seconds() const { return seconds_; }

  private:
    struct OwnLine;

    // The running record; false when the records rule refuses the attempt.
    bool beginRecord(const CameraJobSetup& setup);

    std::unique_ptr<OwnLine> own_;
    CameraLine line_;
    UpgradeLog& log_;
    UpgradeWorker worker_;
    std::unique_ptr<AttemptRecorder> recorder_;
    std::optional<UpgradeOutcome> refused_;
    std::chrono::steady_clock::time_point started_;
    double seconds_ = 0.0; // written by the job's thread as it ends
};

} // namespace orvane

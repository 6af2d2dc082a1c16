// One attempt on one slot: the recorded camera job fed the image the station read at its
// start, its progress tapped for the slot's state on the way to the front end's log.
#pragma once

#include "attempts/camera_job.h"
#include "imagetools/firmware_image.h"
#include "station/progress_tap.h"
#include "station/slot_job.h"
#include "station/station_state.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orvane {

// The same for every attempt of the shift.
struct StationJobSetup {
    const FirmwareImage* image = nullptr;
    int lineSpeed = 9600;
    int upgradeSpeed = 9600;
    int address = 1;
    UpgradeSettings settings{};
    RecordsBook* records = nullptr; // null: nothing is kept
    bool recordsRequired = false;
    // Told (on any thread) why a record could not be kept.
    std::function<void(const std::string& port, const RecordTroubleNote& note)> recordTrouble;
};

// base with what a released version fixes: its image and settings (the language kept).
StationJobSetup setupOfJob(const StationJobSetup& base, const ReleasedJob& job);

class StationJob final : public SlotJob {
  public:
    // front: the front end's log of this attempt (may be null).
    StationJob(const StationJobSetup& setup, const AttemptPlace& place, StationState& state,
               std::unique_ptr<UpgradeLog> front);
    StationJob(const StationJob&) = delete;
    StationJob& operator=(const StationJob&) = delete;

    // Begins the record and the job. Where records are required and the running one could
    // not be kept, nothing starts and finish() answers an unusable outcome at once.
    void start() override;
    bool running() const override { return job_.running(); }
    void cancel() override { job_.cancel(); }
    // Waits for the job and lets the port go; answers its outcome.
    UpgradeOutcome finish() override { return job_.finish(); }
    UpgradeLog* frontLog() const override { return front_.get(); }
    double seconds() const override { return job_.seconds(); }

  private:
    StationJobSetup setup_;
    std::shared_ptr<const ReleasedJob> release_; // keeps the image read by inputs_
    std::unique_ptr<UpgradeLog> front_;
    FixedInputs inputs_;
    ProgressTap tap_;
    CameraJob job_; // last: it ends (given up, waited for) before what it uses
};

} // namespace orvane

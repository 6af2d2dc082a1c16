// One attempt on one slot: the job on its own thread with its port, reply receiver and
// record, fed the image the station read at its start.
#pragma once

#include "attempts/records_book.h"
#include "serial/serial_port.h"
#include "station/progress_tap.h"
#include "station/station_image.h"
#include "upgrade/clock.h"
#include "upgrade/reply_receiver.h"
#include "upgrade/upgrade_worker.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orvane {

// The same for every attempt of the shift.
struct StationJobSetup {
    const StationImage* image = nullptr;
    int lineSpeed = 9600;
    int upgradeSpeed = 9600;
    int address = 1;
    UpgradeSettings settings{};
    RecordsBook* records = nullptr; // null: nothing is kept
    bool recordsRequired = false;
    // Told (on any thread) why a record could not be kept.
    std::function<void(const std::string& port, const RecordTroubleNote& note)> recordTrouble;
};

class StationJob {
  public:
    // front: the front end's log of this attempt (may be null).
    StationJob(const StationJobSetup& setup, std::string port, std::string slot, StationState& state,
               std::unique_ptr<UpgradeLog> front);
    ~StationJob();
    StationJob(const StationJob&) = delete;
    StationJob& operator=(const StationJob&) = delete;

    // Begins the record and the job. Where records are required and the running one could
    // not be kept, nothing starts and finish() answers an unusable outcome at once.
    void start();
    bool running() const;
    void cancel();
    // Waits for the job and lets the port go; answers its outcome.
    UpgradeOutcome finish();
    UpgradeLog* frontLog() const { return front_.get(); }
    double seconds() const { return seconds_; }

  private:
    class Inputs final : public UpgradeInputs {
      public:
        Inputs(const StationJobSetup& setup, std::string port) : setup_(setup), port_(std::move(port)) {}
        std::optional<std::string> imagePath() override { return setup_.image->path; }
        std::optional<std::string> portName() override { return port_; }
        std::optional<int> lineSpeed() override { return setup_.lineSpeed; }
        std::optional<int> address() override { return setup_.address; }
        std::optional<int> upgradeSpeed() override { return setup_.upgradeSpeed; }
        std::optional<std::span<const std::uint8_t>> loadedImage() override { return setup_.image->bytes; }

      private:
        const StationJobSetup& setup_;
        std::string port_;
    };

    bool beginRecord();

    const StationJobSetup& setup_;
    std::string port_;
    std::unique_ptr<UpgradeLog> front_;
    SerialPort link_;
    ReplyFlags flags_;
    SystemClock clock_;
    Inputs inputs_;
    ProgressTap tap_;
    ReplyReceiver receiver_;
    UpgradeWorker worker_;
    std::unique_ptr<AttemptRecorder> recorder_;
    std::optional<UpgradeOutcome> refused_;
    std::chrono::steady_clock::time_point started_;
    double seconds_ = 0.0; // written by the job's thread as it ends, read after finish()
};

} // namespace orvane

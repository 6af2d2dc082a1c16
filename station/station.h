// The station's shift: slots watched, a camera upgraded once a plug as it comes (again, up to
// the retries, when it fails and stays in), at most so many at once, until told to stop;
// then every job in flight is given up (the camera hears the AbortFrame).
#pragma once

#include "station/job_switch.h"
#include "station/slot_job.h"
#include "station/station_job.h"
#include "station/station_ports.h"
#include "station/station_state.h"
#include "station/unit_labels.h"
#include "upgrade/clock.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orvane {

struct FixedSlot {
    std::string port;
    std::string nickname; // empty: the port names the slot
};

struct StationPlan {
    std::string watchFolder = "/dev/serial/by-id"; // used when slots is empty
    std::vector<std::string> matches;              // --match patterns
    std::vector<FixedSlot> slots;
    unsigned retries = 0;  // further attempts of a failed camera left in
    unsigned parallel = 0; // 0: no cap
    StationJobSetup job;   // what StationJobs gives each attempt
    // A slot held (paused from the dashboard) begins no attempt; one in flight goes on.
    std::function<bool(const std::string& slot)> held{};
    // The units' labels (--scan); null: none, every camera flashed with no unit.
    LabelSource* labels = nullptr;
    std::chrono::seconds labelWindow{120};
    bool requireUnit = false; // a camera with no label waits for one
    std::string scanDevice{}; // the scanner's own port: never a camera's, whatever folder it is in
    // --job: the line's released job, looked at between attempts; null: job.image for all.
    JobSwitch* released = nullptr;
};

// What the front end gives each attempt.
class StationFront {
  public:
    virtual ~StationFront() = default;
    // The attempt's own log (null: none but the state's).
    virtual std::unique_ptr<UpgradeLog> attemptLog(const SlotSnapshot& slot) = 0;
    // The attempt has ended; log is the one attemptLog gave.
    virtual void attemptEnded(const SlotSnapshot& slot, UpgradeLog* log, const UpgradeOutcome& outcome,
                              double seconds) = 0;
    // A label read, refused or dropped (on the station's thread).
    virtual void labelNote(const LabelNote& /*note*/) {}
    // The released job changed (on the station's thread).
    virtual void jobNote(const JobNote& /*note*/) {}
};

// Where the station's ports, attempts and time come from: the machine's in a shift, a test's
// own in its tests.
struct StationParts {
    StationPorts& ports;
    SlotJobs& jobs;
    Clock& clock;
};

class Station {
  public:
    Station(const StationPlan& plan, StationState& state, StationFront& front, StationParts parts);
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Works until stopRequested answers true (asked several times a second), then gives up the
    // jobs in flight and waits for them.
    void run(const std::function<bool()>& stopRequested);

  private:
    struct Slot {
        std::string name;
        std::string port;
        std::string device{}; // where its port led as it came (a by-id link's tty)
        std::string plugId{}; // shared by the attempts of the plug in place
        bool present = false;
        bool plugDone = false; // flashed (or given up) since it came: not again until it goes
        unsigned attempts = 0;
        unsigned plug = 0;       // counts its comings, so a job knows whether its camera is still in
        unsigned jobPlug = 0;    // the plug the job began on
        unsigned jobAttempt = 0; // and its number there: a new plug may come before the job ends
        std::string jobUnit{};   // and its unit (unitKey), for the yields
        std::optional<std::string> unit{}; // the label this plug was given, kept by its retries
        bool awaitingLabel = false;
        unsigned long pluggedAs = 0; // the station's count of plugs then: who waited longest
        std::unique_ptr<SlotJob> job{};
        std::shared_ptr<const ReleasedJob> plugJob{}; // --job: the version this plug took
    };

    void scan();
    void readLabels();
    void labelPlug(Slot& slot);
    bool isScanner(const PortFacts& port) const;
    void seen(const std::string& name, const std::string& port, bool present);
    bool deviceStays(const Slot& slot);
    void reap(bool stopping);
    void startWaiting();
    void lookAtJob();
    // Whether the slot may begin an attempt with the released job (not while it is retired).
    bool jobReady(Slot& slot);
    unsigned runningCount() const;
    Slot& slotNamed(const std::string& name, const std::string& port);

    const StationPlan& plan_;
    StationState& state_;
    StationFront& front_;
    StationParts parts_;
    std::vector<std::unique_ptr<Slot>> slots_;
    UnitLabels labels_;
    unsigned long plugs_ = 0;
};

} // namespace orvane

// What the station is doing, held apart from whatever shows it: a snapshot anyone may take at
// any time (the terminal's lines, a dashboard later) and a stream of events to listeners.
#pragma once

#include "records/unit_yield.h"
#include "upgrade/upgrade_outcome.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

struct ReleasedJob;

enum class SlotState : std::uint8_t {
    Waiting,
    Flashing,
    Succeeded,
    Failed,
    Unusable,
    Cancelled,
    WaitingForLabel,
    WaitingForJob // the released job is retired: no attempt begins
};

// "waiting", "flashing", then the endings as the records name them, "waitingForLabel" and
// "waitingForJob".
std::string_view slotStateName(SlotState state);

// Cameras, one a plug, by how their last attempt ended; and every attempt by its unit, for the
// first-pass and final yields.
struct Tally {
    unsigned succeeded = 0;
    unsigned notSucceeded = 0;
    UnitYield units{};
    // Succeeded of all, 0 to 1; none before the first (no yield is not a yield of 0).
    std::optional<double> yield() const;
};

struct SlotSnapshot {
    std::string name{}; // as the terminal names the slot: its nickname, else the port
    std::string port{}; // as the job opens it
    bool present = false;
    SlotState state = SlotState::Waiting;
    std::optional<std::string> unit{};        // the label of the camera plugged in, kept by its retries
    unsigned attempt = 0;                     // of this plug, 1-based once one has begun
    std::optional<std::int64_t> jobVersion{}; // --job: the version its attempt flashes
    std::string step{};                       // the job's step while flashing
    unsigned percent = 0;
    std::uint32_t block = 0; // 1-based, of blockCount
    std::uint32_t blockCount = 0;
    double bytesPerSecond = 0.0;
    std::optional<double> etaSeconds{};
    std::uint32_t resends = 0;
    std::string lastResult{}; // the last attempt's ending name
    std::string lastReason{}; // "unplugged" for a camera pulled out, else the job's reason
    Tally tally{};
};

struct StationSnapshot {
    std::string imageName;
    std::string imageSha256;
    std::uint64_t imageBytes = 0;
    std::vector<SlotSnapshot> slots;
    Tally total;
    unsigned retries = 0; // further attempts a failed camera left in is given (--retries)
    // --job: the released job and the version new plugs take, and whether it is retired.
    std::optional<std::string> job{};
    std::optional<std::int64_t> jobVersion{};
    bool jobRetired = false;
};

struct StationEvent {
    enum class Kind : std::uint8_t {
        Appeared,
        Disappeared,
        Started,
        Progress,
        Ended,
        ImageChanged,
        Labelled,
        Job,          // a released version taken, or the job retired (no slot)
        WaitingForJob // the slot's camera waits for the job to be released again
    };
    Kind kind = Kind::Progress;
    SlotSnapshot slot{}; // as it is after the event (empty for ImageChanged)
};

// Called on the thread that changed the state (the station's or a job's), one at a time.
class StationListener {
  public:
    virtual ~StationListener() = default;
    virtual void stationEvent(const StationEvent& event, const StationSnapshot& now) = 0;
};

struct SlotProgress {
    unsigned percent = 0;
    std::uint32_t block = 0;
    std::uint32_t blockCount = 0;
    double bytesPerSecond = 0.0;
    std::optional<double> etaSeconds{};
    std::uint32_t resends = 0;
};

class StationState {
  public:
    StationState(std::string imageName, std::string imageSha256, std::uint64_t imageBytes,
                 unsigned retries = 0);
    // Before the station runs; the listener must outlive it.
    void addListener(StationListener& listener);
    StationSnapshot snapshot() const;

    // Known slots keep their place; an unknown one is added at the end.
    void appeared(const std::string& name, const std::string& port);
    void disappeared(const std::string& name);
    // The camera plugged in has its label, or (none) waits for one.
    void labelled(const std::string& name, const std::optional<std::string>& unit);
    void started(const std::string& name, unsigned attempt, std::optional<std::int64_t> jobVersion = {});
    void progressed(const std::string& name, const std::string& step, const SlotProgress& progress);
    // final: the plug is done with (success, or no attempt left); only then is the plug counted.
    // unit: as unitKey gives it; every attempt counts for its unit's yields.
    void ended(const std::string& name, const UpgradeOutcome& outcome, bool final, const std::string& unit);
    void imageChanged();
    // --job: the version new plugs take from now; the job retired (until a version is taken);
    // a camera held back by it (told once while it waits).
    void jobTaken(const ReleasedJob& job);
    void jobRetired();
    void waitingForJob(const std::string& name);

  private:
    SlotSnapshot& slotLocked(const std::string& name);
    void tell(StationEvent::Kind kind, const SlotSnapshot& slot, std::unique_lock<std::mutex>& lock);

    mutable std::mutex mutex_;
    std::mutex tellMutex_; // listeners hear one event at a time, in order
    StationSnapshot now_;
    std::vector<StationListener*> listeners_;
};

} // namespace orvane

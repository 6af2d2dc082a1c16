// One attempt on one slot as the station sees it, and where the station gets one: the station
// decides when an attempt begins, is given up and is looked at, never how it talks to a camera.
#pragma once

#include "station/job_source.h"
#include "upgrade/upgrade_job.h"
#include "upgrade/upgrade_outcome.h"

#include <memory>
#include <optional>
#include <string>

namespace orvane {

class SlotJob {
  public:
    virtual ~SlotJob() = default;
    virtual void start() = 0;
    virtual bool running() const = 0;
    // Asks the job to give up; it still ends on its own time.
    virtual void cancel() = 0;
    // Once it no longer runs: its outcome, the port let go.
    virtual UpgradeOutcome finish() = 0;
    virtual UpgradeLog* frontLog() const = 0;
    virtual double seconds() const = 0;
};

// Where an attempt stands: its camera's port, the slot as shown, the plug (one id for every
// attempt of one plug) and its number among the plug's attempts (1, then 2 for the first retry).
struct AttemptPlace {
    std::string port;
    std::string slot;
    std::string plug;
    unsigned attempt = 1;
    std::optional<std::string> unit{}; // the plug's label (none: null), kept by its retries
    // With --job: the version the plug's first attempt took, kept by its retries (its name and
    // version go into the record); null: the shift's own image.
    std::shared_ptr<const ReleasedJob> job{};
};

class SlotJobs {
  public:
    virtual ~SlotJobs() = default;
    // The attempt at place; front: the front end's log of it.
    virtual std::unique_ptr<SlotJob> make(const AttemptPlace& place, std::unique_ptr<UpgradeLog> front) = 0;
};

} // namespace orvane

// One attempt on one slot as the station sees it, and where the station gets one: the station
// decides when an attempt begins, is given up and is looked at, never how it talks to a camera.
#pragma once

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

class SlotJobs {
  public:
    virtual ~SlotJobs() = default;
    // The attempt for the camera on port, shown as slot, labelled unit (none: null); front:
    // the front end's log of it.
    virtual std::unique_ptr<SlotJob> make(const std::string& port, const std::string& slot,
                                          const std::optional<std::string>& unit,
                                          std::unique_ptr<UpgradeLog> front) = 0;
};

} // namespace orvane

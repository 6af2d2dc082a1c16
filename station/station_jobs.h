// The shift's attempts: each a StationJob on the machine's port, fed what the plan gives.
#pragma once

#include "station/slot_job.h"
#include "station/station_job.h"

namespace orvane {

class StationJobs final : public SlotJobs {
  public:
    StationJobs(const StationJobSetup& setup, StationState& state) : setup_(setup), state_(state) {}
    std::unique_ptr<SlotJob> make(const std::string& port, const std::string& slot,
                                  const std::optional<std::string>& unit,
                                  std::unique_ptr<UpgradeLog> front) override {
        return std::make_unique<StationJob>(setup_, port, slot, unit, state_, std::move(front));
    }

  private:
    const StationJobSetup& setup_;
    StationState& state_;
};

} // namespace orvane

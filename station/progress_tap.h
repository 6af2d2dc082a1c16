// The job's log on its way to the front end's, with its progress taken for the station's
// state on the way: percent, bytes a second, time left and resends.
#pragma once

#include "station/station_state.h"
#include "upgrade/transfer_pace.h"
#include "upgrade/upgrade_job.h"

#include <string>

namespace orvane {

class ProgressTap final : public UpgradeLog {
  public:
    // front may be null: the log goes nowhere but the state.
    ProgressTap(UpgradeLog* front, StationState& state, std::string slot);

    void replaceLog(const std::string& text) override;
    void appendLog(const std::string& text) override;
    std::string showWithLog(const std::string& tail) override;
    void progress(const UpgradeProgress& progress) override;
    void reason(const std::string& text) override;
    void advice(const std::string& text) override;

  private:
    UpgradeLog* front_;
    StationState& state_;
    std::string slot_;
    TransferClock transfer_;
    std::uint32_t resends_ = 0;
};

} // namespace orvane

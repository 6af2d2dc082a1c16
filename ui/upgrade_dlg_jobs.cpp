// The three update buttons: each starts a job on the worker's thread and returns at once.
#include "ui/upgrade_dlg.h"

#include "ui/upgrade_dlg_job.h"
#include "upgrade/upgrade_worker.h"

namespace orvane {

bool CUpgradeDlg::jobRunning() const {
    return worker_ != nullptr && worker_->running();
}

void CUpgradeDlg::startUpgrade(UpgradeTarget target) {
    if (worker_ == nullptr) {
        jobInputs_ = std::make_unique<JobInputs>(*this);
        jobLog_ = std::make_unique<JobLog>(*this);
        worker_ = std::make_unique<UpgradeWorker>(services_.port, services_.flags, services_.clock, *jobInputs_,
                                                  *jobLog_);
    }
    // A second start while a job runs is refused with a line in the log, and leaves the
    // running job's board as it is.
    if (worker_->start(UpgradeSettings{target, languageOfFlag(languageFlag)})) {
        upgradeTarget = target;
    }
}

void CUpgradeDlg::OnUpdateMainBoard() {
    startUpgrade(UpgradeTarget::MainBoard);
}

void CUpgradeDlg::OnUpdateMotorBoard() {
    startUpgrade(UpgradeTarget::MotorBoard);
}

void CUpgradeDlg::OnUpdateSpecial() {
    startUpgrade(UpgradeTarget::Special);
}

} // namespace orvane

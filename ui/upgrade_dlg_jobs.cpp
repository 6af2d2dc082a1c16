// The three update buttons: each starts a job on the worker's thread and returns at once.
#include "ui/upgrade_dlg.h"

#include <array>

#include <QMetaObject>

#include "ui/dialog_item.h"
#include "ui/dialog_template.h"
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
    const UpgradeSettings settings{target, languageOfFlag(languageFlag), 0, lowLatencyReplies()};
    const bool started = worker_->start(settings, [this](const UpgradeOutcome& /*outcome*/) {
        // On the job's thread; the dialog outlives it (its destructor joins the job).
        QMetaObject::invokeMethod(this, [this] { lockJobControls(false); }, Qt::QueuedConnection);
    });
    if (started) {
        upgradeTarget = target;
        lockJobControls(true);
    }
}

void CUpgradeDlg::lockJobControls(bool locked) {
    // The port buttons and the PTZ buttons would write to the port between the job's frames;
    // the port and speed boxes are read again by the job on its way.
    static constexpr std::array controls{IDC_OPEN,      IDC_CLOSE,    IDC_PORT,     IDC_BPS,      IDC_UPBPS,
                                         IDC_PTZ_LEFT,  IDC_PTZ_UP,   IDC_PTZ_DOWN, IDC_PTZ_RIGHT, IDC_PTZ_HOME,
                                         IDC_PTZ_STOP,  IDC_PTZ_TELE, IDC_PTZ_WIDE, IDC_PTZ_NEAR, IDC_PTZ_FAR};
    if (locked && lockedControls_.empty()) {
        for (const int id : controls) {
            lockedControls_.emplace_back(id, dlgItem(this, id)->isEnabled());
            enableDlgItem(this, id, false);
        }
    } else if (!locked) {
        for (const auto& [id, enabled] : lockedControls_) {
            enableDlgItem(this, id, enabled);
        }
        lockedControls_.clear();
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

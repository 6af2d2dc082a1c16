// The three update buttons: each starts a job on the worker's thread and returns at once.
#include "text/text_language.h"
#include "ui/dialog_template.h"
#include "ui/logic/control_value.h"
#include "ui/logic/upgrade_dlg_logic.h"
#include "ui/logic/upgrade_dlg_logic_job.h"

#include <array>

namespace orvane {

bool UpgradeDlgLogic::jobRunning() const {
    return job_ != nullptr && job_->running();
}

void UpgradeDlgLogic::startUpgrade(UpgradeTarget target) {
    if (job_ == nullptr) {
        jobInputs_ = std::make_unique<JobInputs>(*this);
        jobLog_ = std::make_unique<JobLog>(*this);
        job_ = std::make_unique<CameraJob>(CameraLine{services_.port, services_.flags, services_.clock},
                                           *jobInputs_, *jobLog_);
    }
    // A second start while a job runs is refused with a line in the log, and leaves the
    // running job's board as it is.
    const UpgradeSettings settings{target, languageOfFlag(languageFlag), 0, lowLatencyReplies()};
    // The unlock of a job that has ended may still wait for this thread when the next job
    // starts, so each unlock names its job. The number is taken only once the start succeeds:
    // a refused start leaves the running job's unlock in force.
    const std::uint64_t job = jobNumber_ + 1;
    // Why this attempt's record is not kept: said in the log box when the job ends, after the
    // job's own lines.
    auto trouble = std::make_shared<RecordTroubleNote>(
        RecordTroubleNote{services_.records ? "" : services_.recordsRefusal});
    const bool recorded = services_.records != nullptr && !jobRunning();
    const bool started = job_->start(CameraJobSetup{
        .settings = settings,
        .facts = recorded ? jobFacts(target) : AttemptFacts{},
        .records = recorded ? services_.records : nullptr,
        .recordTrouble =
            [trouble](const RecordTroubleNote& note) {
                if (trouble->reason.empty() || !note.waiting) {
                    *trouble = note;
                }
            },
        .ended =
            [this, job, trouble, language = settings.language](const UpgradeOutcome&) {
                // On the job's thread; the logic outlives it (its destructor joins the job).
                if (!trouble->reason.empty()) {
                    const std::string line = recordTroubleText(*trouble, language) + "\r\n";
                    view_.post([this, line] {
                        m_logText += line;
                        showLog(m_logText);
                    });
                }
                view_.post([this, job] { unlockJobControls(job); });
            },
    });
    if (started) {
        jobNumber_ = job;
        upgradeTarget = target;
        lockJobControls();
    }
}

AttemptFacts UpgradeDlgLogic::jobFacts(UpgradeTarget target) {
    const std::string port = view_.controlText(IDC_PORT);
    return AttemptFacts{.port = port,
                        .imagePath = m_filePath,
                        .lineSpeed = controlValueOf(view_.controlText(IDC_BPS)),
                        .upgradeSpeed = controlValueOf(view_.controlText(IDC_UPBPS)),
                        .address = controlValueOf(view_.controlText(IDC_ADDRESS)),
                        .target = target,
                        .lowLatency = lowLatencyReplies(),
                        .unit = std::nullopt,
                        .slot = port,
                        .plug = {}};
}

void UpgradeDlgLogic::lockJobControls() {
    // The port buttons and the PTZ buttons would write to the port between the job's frames;
    // the port and speed boxes are read again by the job on its way.
    static constexpr std::array controls{IDC_OPEN,      IDC_CLOSE,    IDC_PORT,     IDC_BPS,
                                         IDC_UPBPS,     IDC_PTZ_LEFT, IDC_PTZ_UP,   IDC_PTZ_DOWN,
                                         IDC_PTZ_RIGHT, IDC_PTZ_HOME, IDC_PTZ_STOP, IDC_PTZ_TELE,
                                         IDC_PTZ_WIDE,  IDC_PTZ_NEAR, IDC_PTZ_FAR};
    if (!lockedControls_.empty()) {
        return; // still locked for the last job: what was saved is how they were before it
    }
    for (const int id : controls) {
        lockedControls_.emplace_back(id, view_.controlEnabled(id));
        view_.enableControl(id, false);
    }
}

void UpgradeDlgLogic::unlockJobControls(std::uint64_t job) {
    if (job != jobNumber_) {
        return; // a later job runs and holds them
    }
    for (const auto& [id, enabled] : lockedControls_) {
        view_.enableControl(id, enabled);
    }
    lockedControls_.clear();
}

void UpgradeDlgLogic::OnUpdateMainBoard() {
    startUpgrade(UpgradeTarget::MainBoard);
}

void UpgradeDlgLogic::OnUpdateMotorBoard() {
    startUpgrade(UpgradeTarget::MotorBoard);
}

void UpgradeDlgLogic::OnUpdateSpecial() {
    startUpgrade(UpgradeTarget::Special);
}

} // namespace orvane

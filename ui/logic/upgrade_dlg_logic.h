// What the main dialog decides, without a toolkit: the handlers of every button and menu
// command, the log text, the user's choices, the upgrade job with its inputs and log, which
// controls a running job locks and what Enter, Escape and the close box do meanwhile. The
// window (Qt or native) builds the controls, routes commands here and shows what this asks
// through DialogView.
//
// Threads: every member is touched on the dialog's thread only. An upgrade job runs on the
// worker's thread and reaches the controls and the log through the view's runOnDialogThread.
#pragma once

#include "attempts/camera_job.h"
#include "attempts/records_book.h"
#include "serial/serial_link.h"
#include "ui/logic/dialog_view.h"
#include "upgrade/clock.h"
#include "upgrade/reply_flags.h"
#include "upgrade/upgrade_job.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace orvane {

enum class PtzButton : std::uint8_t;
class ReplyReceiver;

// What the logic works with; everything must outlive it.
struct DialogLogicServices {
    SerialLink& port;
    ReplyFlags& flags;
    Clock& clock;
    DialogView& view;
    // Where each job's attempt is kept; null: nowhere. It must outlive the dialog.
    RecordsBook* records = nullptr;
    // Why the records file could not be opened, when it could not: said after each job, so the
    // technician learns that nothing is kept rather than finding out later.
    std::string recordsRefusal{};
};

class UpgradeDlgLogic {
  public:
    explicit UpgradeDlgLogic(const DialogLogicServices& services);
    // Gives up a running job (AbortFrame sent), shuts the view's dialog thread calls, then
    // waits for the job's thread and stops the receiver.
    ~UpgradeDlgLogic();

    UpgradeDlgLogic(const UpgradeDlgLogic&) = delete;
    UpgradeDlgLogic& operator=(const UpgradeDlgLogic&) = delete;

    // The window's initialisation calls it once: the dialog thread's texts are English from
    // here on, and the reply receiver starts.
    void OnInitDialog();

    // The message map: a command (a button click, a packaging menu item) by its id. Answers
    // false for ids it has no handler for (IDOK and the about item are the window's).
    bool OnCommand(int id);

    void OnSelectFile();
    void OnOpenPort();
    void OnClosePort();
    void OnUpdateMainBoard();
    void OnUpdateMotorBoard();
    void OnUpdateSpecial();
    void OnUblButton();
    void OnAppButton();
    void MergeHexFiles();
    void PackageDeviceImage(char digit);
    void OnPtzLeft();
    void OnPtzUp();
    void OnPtzDown();
    void OnPtzRight();
    void OnPtzHome();
    void OnPtzStop();
    void OnPtzTele();
    void OnPtzWide();
    void OnPtzNear();
    void OnPtzFar();

    // Enter (OK), Escape and the close box (Cancel) all ask this before the window ends:
    // at once when no job runs; while one runs only after a yes, and then the job is given
    // up (the camera is sent the AbortFrame) before the answer. Answers false while a job is
    // being given up.
    bool mayEndDialog();

    bool jobRunning() const;
    // The board of the last job started and the working code's language flag (1 English,
    // any other value Chinese) handed to each job when it starts. Nothing in the dialog
    // offers a language choice; the flag stays 1 unless set here.
    UpgradeTarget currentTarget() const { return upgradeTarget; }
    void setLanguageFlag(std::uint8_t flag) { languageFlag = flag; }
    // The "Low-latency replies" choice, taken by the next job. Off whenever the dialog starts,
    // so a job keeps the reply timing the camera's firmware is known to work with unless the
    // technician asks for less.
    bool lowLatencyReplies() const { return lowLatency_; }
    void setLowLatencyReplies(bool on) { lowLatency_ = on; }

    // The dialog's members that the handlers share, in the dialog's declaration order; readable
    // by the window and the tests.
    std::string m_portName;
    std::string m_logText;
    std::string m_filePath;
    std::string m_ublPath;
    std::string m_appPath;

  private:
    class JobInputs;
    class JobLog;

    void startUpgrade(UpgradeTarget target);
    // What the record of the job about to start keeps, from the choices it will read.
    AttemptFacts jobFacts(UpgradeTarget target);
    void stopRunningJob();
    void showLog(const std::string& text);
    void writePtz(PtzButton button);
    // While a job runs, nothing but the job may touch the port or the choices it reads. A
    // job's end gives the controls back only if no later job has started meanwhile.
    void lockJobControls();
    void unlockJobControls(std::uint64_t job);

    // The tool's shared data that the dialog holds, under the names that data has: the board
    // of the job being started and the language flag handed to the working code.
    UpgradeTarget upgradeTarget = UpgradeTarget::MainBoard;
    std::uint8_t languageFlag = 1;

    // The logic's own state.
    DialogLogicServices services_;
    DialogView& view_;
    bool stoppingJob_ = false; // the dialog is ending and waits for the job to give up
    bool lowLatency_ = false;

    std::unique_ptr<JobInputs> jobInputs_;
    std::unique_ptr<JobLog> jobLog_;
    std::unique_ptr<CameraJob> job_; // on the dialog's line, one job after another
    std::unique_ptr<ReplyReceiver> receiver_;
    std::vector<std::pair<int, bool>> lockedControls_; // id and whether it was enabled
    std::uint64_t jobNumber_ = 0;                      // the last job started, counted from 1
};

} // namespace orvane

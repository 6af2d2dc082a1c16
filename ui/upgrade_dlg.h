// The main dialog, template 102: the technician's one window. It owns what the user chose
// (port, speeds, address, image path) and the log, fills its lists at initialisation, starts
// the reply receiver and routes every button to its handler. The handlers are thin: the
// serial port, the upgrade job, the HEX merge, the packager and the PTZ frames are the core's.
//
// Threads: every member is touched on the dialog's thread only. An upgrade job runs on the
// worker's thread and reaches the controls and the log through the dialog thread bridge.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

#include <QAction>
#include <QDialog>
#include <QIcon>
#include <QString>

#include "serial/port_list.h"
#include "serial/serial_link.h"
#include "ui/dialog_prompts.h"
#include "ui/log_file.h"
#include "upgrade/clock.h"
#include "upgrade/reply_flags.h"
#include "upgrade/upgrade_job.h"

class QComboBox;
class QMenu;

namespace orvane {

enum class PtzButton : std::uint8_t;
class DialogThreadBridge;
class PortListWatcher;
class ReplyReceiver;
class UpgradeWorker;
struct PortEntry;

// What the dialog works with; everything must outlive the dialog.
struct DialogServices {
    SerialLink& port;
    ReplyFlags& flags;
    Clock& clock;
    DialogPrompts& prompts;
    std::filesystem::path portListRoot = defaultTtyClassRoot;
    QString logFilePath = QStringLiteral("Log.txt"); // relative to the current directory
    std::filesystem::path devRoot = "/dev"; // watched for adapters coming and going
};

class CUpgradeDlg : public QDialog {
    Q_OBJECT
public:
    explicit CUpgradeDlg(const DialogServices& services, QWidget* parent = nullptr);
    // Gives up a running job (AbortFrame sent) and stops the receiver before the members go.
    ~CUpgradeDlg() override;

    CUpgradeDlg(const CUpgradeDlg&) = delete;
    CUpgradeDlg& operator=(const CUpgradeDlg&) = delete;

    // Runs once, before the dialog is first shown; answers TRUE as the framework expects.
    bool OnInitDialog();
    bool initialised() const { return initialised_; }

    void ApplyDialogTexts();
    // Fills the port list from the system's serial ports: -1 (list untouched) when they
    // cannot be read, else the number listed, the first selected.
    int listSerialPorts();
    // Puts ports and their descriptions into the port list, keeping what the user typed or
    // chose in the port box. The port list watcher calls it as adapters come and go.
    void applyPortList(const std::vector<PortEntry>& entries);

    // The message map: a command (a button click, a menu item) by its id.
    void OnCommand(int id);
    void OnSysCommand(int id);

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

    // Enter (the OK command) and Escape or the close box (Cancel).
    void OnOK();
    void OnCancel();

    // State for the tests and for later code.
    const QString& portName() const { return m_portName; }
    const QString& logText() const { return m_logText; }
    const QString& filePath() const { return m_filePath; }
    const QString& ublPath() const { return m_ublPath; }
    const QString& appPath() const { return m_appPath; }
    bool logFileHeld() const { return m_logFile.isHeld(); }
    bool jobRunning() const;
    QMenu* contextMenu() const { return m_contextMenu; }
    // The context menu's "Low-latency replies", handed to each job as it starts.
    bool lowLatencyReplies() const { return m_lowLatencyAction != nullptr && m_lowLatencyAction->isChecked(); }
    // The board and the text language the update buttons hand their jobs. Nothing in the
    // dialog offers a language choice; the flag stays 1 (English) unless set here.
    UpgradeTarget currentTarget() const { return upgradeTarget; }
    void setLanguageFlag(std::uint8_t flag) { languageFlag = flag; }
    const QIcon& icon() const { return m_hIcon; }

    void done(int result) override;
    void setVisible(bool visible) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class JobInputs;
    class JobLog;

    void DoDataExchange();
    void buildContextMenu();
    void connectMessageMap();
    void startUpgrade(UpgradeTarget target);
    void stopRunningJob();
    void showLog(const QString& text);
    void writePtz(PtzButton button);
    // While a job runs, nothing but the job may touch the port or the choices it reads.
    void lockJobControls(bool locked);
    static int packagingDigitOf(int commandId);

    DialogServices services_;
    bool initialised_ = false;
    bool stoppingJob_ = false; // the dialog is ending and waits for the job to give up

    // The dialog's members, in their classic order.
    QString m_portName;
    LockedLogFile m_logFile;
    QString m_logText;
    QComboBox* m_upgradeBpsCombo = nullptr;
    QComboBox* m_addressCombo = nullptr;
    QComboBox* m_portCombo = nullptr;
    QComboBox* m_bpsCombo = nullptr;
    QString m_filePath;
    QString m_ublPath;
    QString m_appPath;
    QString m_logEditText;
    QIcon m_hIcon;

    // The board of the job being started and the working code's language flag (1 English,
    // any other value Chinese), handed to each job when it starts.
    UpgradeTarget upgradeTarget = UpgradeTarget::MainBoard;
    std::uint8_t languageFlag = 1;

    QMenu* m_contextMenu = nullptr;
    QAction* m_lowLatencyAction = nullptr;
    DialogThreadBridge* bridge_ = nullptr;
    std::unique_ptr<JobInputs> jobInputs_;
    std::unique_ptr<JobLog> jobLog_;
    std::unique_ptr<UpgradeWorker> worker_;
    std::unique_ptr<ReplyReceiver> receiver_;
    PortListWatcher* portWatcher_ = nullptr;
    std::vector<std::pair<int, bool>> lockedControls_; // id and whether it was enabled
};

} // namespace orvane

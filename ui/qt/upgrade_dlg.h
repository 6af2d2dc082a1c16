// The main dialog, template 102: the technician's one window on Qt. It builds the controls,
// fills its lists at initialisation, follows the port list and routes every button and menu
// command to the dialog's logic (ui/logic), which holds what the user chose, the log and the
// upgrade job, and reaches the window back through a QtDialogView.
//
// Threads: every member is touched on the dialog's thread only. An upgrade job runs on the
// worker's thread and reaches the controls and the log through the view's call queue.
#pragma once

#include "serial/port_list.h"
#include "serial/serial_link.h"
#include "ui/logic/upgrade_dlg_logic.h"
#include "ui/qt/dialog_prompts.h"
#include "ui/qt/log_file.h"
#include "upgrade/clock.h"
#include "upgrade/reply_flags.h"
#include "upgrade/upgrade_job.h"

#include <QAction>
#include <QDialog>
#include <QIcon>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QComboBox;
class QMenu;

namespace orvane {

class PortListWatcher;
class QtDialogView;
struct PortBox;
struct PortListEntry;

// What the dialog works with; everything must outlive the dialog.
struct DialogServices {
    SerialLink& port;
    ReplyFlags& flags;
    Clock& clock;
    DialogPrompts& prompts;
    std::filesystem::path portListRoot = defaultTtyClassRoot;
    QString logFilePath = QStringLiteral("Log.txt"); // relative to the current directory
    std::filesystem::path devRoot = "/dev";          // watched for adapters coming and going
    RecordsBook* records = nullptr;                  // where each job's attempt is kept
    std::string recordsRefusal{};                    // why nothing is kept, when records were wanted
};

class CUpgradeDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CUpgradeDlg(const DialogServices& services, QWidget* parent = nullptr);
    // Ends the logic first: it gives up a running job (AbortFrame sent), shuts the view's call
    // queue and stops the receiver before the controls go.
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
    void applyPortList(const std::vector<PortListEntry>& entries);

    // The message map: a command (a button click, a menu item) by its id; all but Enter's
    // OK go to the logic's handlers.
    void OnCommand(int id);
    void OnSysCommand(int id);

    // Enter (the OK command) and Escape or the close box (Cancel).
    void OnOK();
    void OnCancel();

    // State for the tests and for later code.
    UpgradeDlgLogic& logic() { return *logic_; }
    QString portName() const { return qtString(logic_->m_portName); }
    QString logText() const { return qtString(logic_->m_logText); }
    QString filePath() const { return qtString(logic_->m_filePath); }
    QString ublPath() const { return qtString(logic_->m_ublPath); }
    QString appPath() const { return qtString(logic_->m_appPath); }
    bool logFileHeld() const { return m_logFile.isHeld(); }
    bool jobRunning() const { return logic_->jobRunning(); }
    QMenu* contextMenu() const { return contextMenu_; }
    // The context menu's "Low-latency replies", handed to each job as it starts.
    bool lowLatencyReplies() const { return logic_->lowLatencyReplies(); }
    // The board and the text language the update buttons hand their jobs. Nothing in the
    // dialog offers a language choice; the flag stays 1 (English) unless set here.
    UpgradeTarget currentTarget() const { return logic_->currentTarget(); }
    void setLanguageFlag(std::uint8_t flag) { logic_->setLanguageFlag(flag); }
    const QIcon& icon() const { return m_hIcon; }

    void done(int result) override;
    void setVisible(bool visible) override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    static QString qtString(const std::string& text) { return QString::fromStdString(text); }
    void DoDataExchange();
    void buildContextMenu();
    // A context menu entry chosen; checked is a check item's new mark.
    void OnMenuCommand(int id, bool checked);
    void showPortBox(const PortBox& box);
    void connectMessageMap();

    DialogServices services_;
    bool initialised_ = false;

    // The window's members; the user's choices and the log are the logic's.
    LockedLogFile m_logFile;
    QComboBox* m_upgradeBpsCombo = nullptr;
    QComboBox* m_addressCombo = nullptr;
    QComboBox* m_portCombo = nullptr;
    QComboBox* m_bpsCombo = nullptr;
    QString m_logEditText;
    QIcon m_hIcon;

    QMenu* contextMenu_ = nullptr;
    std::unique_ptr<QtDialogView> view_;
    std::unique_ptr<UpgradeDlgLogic> logic_;
    PortListWatcher* portWatcher_ = nullptr;
};

} // namespace orvane

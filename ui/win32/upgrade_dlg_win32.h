// The main dialog, template 102, on the native dialog manager: it builds the template, fills
// the lists at initialisation, adds the about item to the system menu, offers the context
// menu, follows serial adapters as they come and go and routes every command to the dialog's logic
// (ui/logic), which reaches the window back through a Win32DialogView. Enter, Escape and the close box ask
// the logic first.
#pragma once

#include "serial/serial_link.h"
#include "ui/logic/upgrade_dlg_logic.h"
#include "ui/win32/held_log_file.h"
#include "ui/win32/win32_dialog_view.h"
#include "upgrade/clock.h"
#include "upgrade/reply_flags.h"

#include <windows.h>

#include <memory>
#include <string>

namespace orvane {

struct PortBox;

class Win32UpgradeDlg {
  public:
    // Everything must outlive the dialog; appName captions its message boxes.
    // records: where each job's attempt is kept (null: nowhere); it must outlive the dialog.
    // recordsRefusal: why nothing is kept, when the records file could not be opened.
    Win32UpgradeDlg(SerialLink& port, ReplyFlags& flags, Clock& clock, std::wstring appName,
                    RecordsBook* records = nullptr, std::string recordsRefusal = {});
    ~Win32UpgradeDlg();

    Win32UpgradeDlg(const Win32UpgradeDlg&) = delete;
    Win32UpgradeDlg& operator=(const Win32UpgradeDlg&) = delete;

    // Shows the dialog modally; answers how it ended (IDOK or IDCANCEL), -1 if it could not.
    INT_PTR DoModal();

  private:
    static INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);

    BOOL OnInitDialog();
    void addAboutItem();
    void buildContextMenu();
    void fillLists();
    void ApplyDialogTexts();
    int listSerialPorts();
    // An adapter plugged in or out: the list follows, what is in the box stays.
    void refreshPortList();
    void showPortBox(const PortBox& box);
    void OnCommand(int id, int code);
    bool OnSysCommand(WPARAM command);
    void OnContextMenu(LPARAM where);
    bool OnPaint();

    HWND hwnd_ = nullptr;
    HICON icon_ = nullptr;
    HICON smallIcon_ = nullptr;
    HMENU contextMenu_ = nullptr;
    HeldLogFile m_logFile;
    Win32DialogView view_;
    std::unique_ptr<UpgradeDlgLogic> logic_; // goes before the view it talks to
};

} // namespace orvane

// The main dialog's window procedure: initialisation, the menus, painting while minimised
// and the commands.
#include "ui/win32/upgrade_dlg_win32.h"

#include "platform/windows_text.h"
#include "serial/port_list.h"
#include "text/string_table.h"
#include "ui/dialog_template.h"
#include "ui/logic/context_menu.h"
#include "ui/logic/dialog_lists.h"
#include "ui/logic/port_box.h"
#include "ui/win32/about_dlg_win32.h"
#include "ui/win32/dialog_template_builder.h"

#include <dbt.h>
#include <string>
#include <utility>
#include <vector>
#include <windowsx.h>

namespace orvane {
namespace {

std::wstring textFor(int id) {
    return widenText(loadText(id));
}

void insertEntry(HWND combo, int position, const std::wstring& text) {
    SendMessageW(combo, CB_INSERTSTRING, static_cast<WPARAM>(position),
                 reinterpret_cast<LPARAM>(text.c_str()));
}

// Inserting at a position keeps the given order in spite of the boxes' sorted style.
template <std::size_t N> void fillList(HWND combo, const ListFill<N>& fill) {
    for (std::size_t i = 0; i < N; ++i) {
        insertEntry(combo, static_cast<int>(i), widenText(fill.entries[i]));
    }
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(fill.selected), 0);
}

// The registry lists names only.
std::vector<PortListEntry> entriesOf(std::vector<std::string> names) {
    std::vector<PortListEntry> entries;
    for (std::string& name : names) {
        entries.push_back({std::move(name), {}});
    }
    return entries;
}

HICON loadAppIcon(int size) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                         IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

} // namespace

Win32UpgradeDlg::Win32UpgradeDlg(SerialLink& port, ReplyFlags& flags, Clock& clock, std::wstring appName,
                                 RecordsBook* records, std::string recordsRefusal)
    : icon_(loadAppIcon(GetSystemMetrics(SM_CXICON))), smallIcon_(loadAppIcon(GetSystemMetrics(SM_CXSMICON))),
      view_(std::move(appName)), logic_(std::make_unique<UpgradeDlgLogic>(DialogLogicServices{
                                     port, flags, clock, view_, records, std::move(recordsRefusal)})) {}

Win32UpgradeDlg::~Win32UpgradeDlg() {
    // The logic gives a running job up and joins it before the view goes.
    logic_.reset();
    if (contextMenu_ != nullptr) {
        DestroyMenu(contextMenu_);
    }
    DestroyIcon(icon_);
    DestroyIcon(smallIcon_);
}

INT_PTR Win32UpgradeDlg::DoModal() {
    const DialogFrame frame{widenText(upgradeDialogCaption), upgradeDialogWidth, upgradeDialogHeight,
                            WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, WS_EX_APPWINDOW};
    const std::vector<DWORD> layout = buildDialogTemplate(frame, upgradeDialogControls);
    return DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                                   reinterpret_cast<const DLGTEMPLATE*>(layout.data()), nullptr, dialogProc,
                                   reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK Win32UpgradeDlg::dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Win32UpgradeDlg*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        self->hwnd_ = dialog;
        return self->OnInitDialog();
    }
    auto* self = reinterpret_cast<Win32UpgradeDlg*>(GetWindowLongPtrW(dialog, DWLP_USER));
    return self == nullptr ? FALSE : self->handle(message, wParam, lParam);
}

INT_PTR Win32UpgradeDlg::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SYSCOMMAND:
        return OnSysCommand(wParam) ? TRUE : FALSE;
    case WM_PAINT:
        return OnPaint() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(icon_);
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CONTEXTMENU:
        OnContextMenu(lParam);
        return TRUE;
    case WM_RUN_DIALOG_CALLS:
        view_.runQueued();
        return TRUE;
    case WM_DEVICECHANGE:
        // Top-level windows hear of ports arriving and leaving without registering for it.
        if (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE ||
            wParam == DBT_DEVNODES_CHANGED) {
            refreshPortList();
        }
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL Win32UpgradeDlg::OnInitDialog() {
    view_.attach(hwnd_);
    // The dialog thread's texts are English from here on, and the reply receiver runs.
    logic_->OnInitDialog();
    addAboutItem();
    buildContextMenu();
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

    fillList(GetDlgItem(hwnd_, IDC_PORT), fallbackPorts);
    ApplyDialogTexts();
    view_.enableControl(IDC_OPEN, true);
    view_.enableControl(IDC_CLOSE, false);
    listSerialPorts();
    fillLists();

    // Not being able to hold Log.txt (a read-only folder, a second instance) is normal.
    m_logFile.open(L"Log.txt");
    return TRUE; // the focus goes to the first tab stop
}

void Win32UpgradeDlg::addAboutItem() {
    const HMENU systemMenu = GetSystemMenu(hwnd_, FALSE);
    const std::wstring about = textFor(aboutMenuText);
    if (systemMenu != nullptr && !about.empty()) {
        AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
    }
}

void Win32UpgradeDlg::buildContextMenu() {
    contextMenu_ = CreatePopupMenu();
    for (const MenuEntry& entry : contextMenuEntries(logic_->lowLatencyReplies(), loadText)) {
        if (entry.kind == MenuEntry::Kind::Separator) {
            AppendMenuW(contextMenu_, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        const UINT mark = entry.kind != MenuEntry::Kind::Check ? 0
                          : entry.checked                      ? MF_CHECKED
                                                               : MF_UNCHECKED;
        AppendMenuW(contextMenu_, MF_STRING | mark, static_cast<UINT_PTR>(entry.command),
                    widenText(entry.text).c_str());
    }
}

void Win32UpgradeDlg::fillLists() {
    const HWND address = GetDlgItem(hwnd_, IDC_ADDRESS);
    for (int value = lowestAddress; value <= highestAddress; ++value) {
        insertEntry(address, value - lowestAddress, std::to_wstring(value));
    }
    SendMessageW(address, CB_SETCURSEL, addressSelected, 0);
    fillList(GetDlgItem(hwnd_, IDC_BPS), lineSpeeds);
    fillList(GetDlgItem(hwnd_, IDC_UPBPS), upgradeSpeeds);
}

void Win32UpgradeDlg::ApplyDialogTexts() {
    for (const ControlLabel& label : dialogLabels) {
        SetDlgItemTextW(hwnd_, label.control, textFor(label.text).c_str());
    }
    SetWindowTextW(hwnd_, textFor(dialogTitleText).c_str());
}

int Win32UpgradeDlg::listSerialPorts() {
    std::vector<std::string> names;
    const int count = gatherPortNames(names);
    if (count < 0) {
        return -1; // the fallback list stays
    }
    showPortBox(listedPortBox(entriesOf(std::move(names))));
    return count;
}

void Win32UpgradeDlg::refreshPortList() {
    std::vector<std::string> names;
    if (gatherPortNames(names) < 0) {
        return;
    }
    const HWND combo = GetDlgItem(hwnd_, IDC_PORT);
    std::vector<PortListEntry> shown;
    const auto count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring entry(
            static_cast<std::size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0)) + 1,
            L'\0');
        const auto length =
            SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry.data()));
        entry.resize(length < 0 ? 0 : static_cast<std::size_t>(length));
        shown.push_back({narrowText(entry), {}});
    }
    if (const auto box = gatheredPortBox(shown, view_.controlText(IDC_PORT), entriesOf(std::move(names)))) {
        showPortBox(*box);
    }
}

void Win32UpgradeDlg::showPortBox(const PortBox& box) {
    const HWND combo = GetDlgItem(hwnd_, IDC_PORT);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (std::size_t i = 0; i < box.entries.size(); ++i) {
        insertEntry(combo, static_cast<int>(i), widenText(box.entries[i].name));
    }
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(box.selected), 0);
    if (box.selected < 0) {
        view_.setControlText(IDC_PORT, box.text);
    }
}

void Win32UpgradeDlg::OnCommand(int id, int code) {
    if (id == IDOK || id == IDCANCEL) {
        if (logic_->mayEndDialog()) {
            EndDialog(hwnd_, id);
        }
        return;
    }
    // Clicks and menu items; other notifications (a combo box's, an edit's) have no handler.
    if (code != BN_CLICKED) {
        return;
    }
    if (id == IDM_ABOUTBOX) {
        showAboutBox(hwnd_);
    } else if (id == ID_LOW_LATENCY) {
        const bool on = !logic_->lowLatencyReplies();
        logic_->setLowLatencyReplies(on);
        CheckMenuItem(contextMenu_, ID_LOW_LATENCY, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
    } else {
        logic_->OnCommand(id);
    }
}

bool Win32UpgradeDlg::OnSysCommand(WPARAM command) {
    if ((command & 0xFFF0) != IDM_ABOUTBOX) {
        return false;
    }
    showAboutBox(hwnd_);
    return true;
}

void Win32UpgradeDlg::OnContextMenu(LPARAM where) {
    POINT at{GET_X_LPARAM(where), GET_Y_LPARAM(where)};
    if (at.x == -1 && at.y == -1) {
        // From the keyboard (Shift+F10, the menu key): at the window's top left corner.
        at = {0, 0};
        ClientToScreen(hwnd_, &at);
    }
    // The menu closes as it should when the user clicks elsewhere only if its owner is in front.
    SetForegroundWindow(hwnd_);
    TrackPopupMenu(contextMenu_, TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd_, nullptr);
}

bool Win32UpgradeDlg::OnPaint() {
    if (IsIconic(hwnd_) == FALSE) {
        return false;
    }
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(hwnd_, &paint);
    SendMessageW(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(hwnd_, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon_);
    EndPaint(hwnd_, &paint);
    return true;
}

} // namespace orvane

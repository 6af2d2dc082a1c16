// Each of the logic's requests as the native dialog carries it out. A job's call waits in the
// dialog's call queue, not in SendMessage, so the shut-down can always release it.
#include "ui/win32/win32_dialog_view.h"

#include "platform/windows_text.h"

#include <commdlg.h>
#include <vector>

namespace orvane {
namespace {

// Room for a long path the user picks in the file dialog.
constexpr DWORD pickedPathLimit = 32768;

} // namespace

Win32DialogView::Win32DialogView(std::wstring appName)
    : appName_(std::move(appName)), queue_([this] { return wake(); }) {}

Win32DialogView::~Win32DialogView() {
    shutDownDialogThreadCalls();
}

void Win32DialogView::attach(HWND dialog) {
    dialog_ = dialog;
    // Calls queued before the window existed had nobody to wake.
    if (queue_.pending()) {
        PostMessageW(dialog, WM_RUN_DIALOG_CALLS, 0, 0);
    }
}

bool Win32DialogView::wake() {
    const HWND dialog = dialog_;
    // Before the window exists, attach() posts the wake-up.
    return dialog == nullptr || PostMessageW(dialog, WM_RUN_DIALOG_CALLS, 0, 0) != FALSE;
}

std::string Win32DialogView::controlText(int id) {
    const HWND item = GetDlgItem(dialog_, id);
    if (item == nullptr) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    const UINT length = GetDlgItemTextW(dialog_, id, text.data(), static_cast<int>(text.size()));
    text.resize(length);
    return narrowText(text);
}

void Win32DialogView::setControlText(int id, const std::string& text) {
    SetDlgItemTextW(dialog_, id, widenText(text).c_str());
}

bool Win32DialogView::controlEnabled(int id) {
    const HWND item = GetDlgItem(dialog_, id);
    return item != nullptr && IsWindowEnabled(item) != FALSE;
}

void Win32DialogView::enableControl(int id, bool enabled) {
    const HWND item = GetDlgItem(dialog_, id);
    if (item == nullptr) {
        return;
    }
    // A disabled control that keeps the focus swallows every key, Tab and Enter included, so
    // the focus moves on to the next tab stop first (PortOpen pressed from the keyboard).
    if (!enabled && GetFocus() == item) {
        SendMessageW(dialog_, WM_NEXTDLGCTL, 0, FALSE);
    }
    EnableWindow(item, enabled ? TRUE : FALSE);
}

void Win32DialogView::showMessage(const std::string& text) {
    MessageBoxW(dialog_, widenText(text).c_str(), appName_.c_str(), MB_OK);
}

bool Win32DialogView::askYesNo(const std::string& text, DefaultAnswer preset) {
    const UINT defaultButton = preset == DefaultAnswer::Yes ? MB_DEFBUTTON1 : MB_DEFBUTTON2;
    return MessageBoxW(dialog_, widenText(text).c_str(), appName_.c_str(),
                       MB_YESNO | MB_ICONQUESTION | defaultButton) == IDYES;
}

std::optional<std::string> Win32DialogView::chooseFile(const FileChoice& choice) {
    // "label\0pattern\0 ... \0": the common dialog's filter list.
    std::wstring filter;
    for (const FileFilter& entry : choice.filters) {
        filter += widenText(entry.label) + L'\0' +
                  (entry.pattern == "*" ? L"*.*" : widenText(entry.pattern)) + L'\0';
    }
    filter += L'\0';
    const std::wstring suffix = widenText(choice.defaultSuffix);
    std::vector<wchar_t> picked(pickedPathLimit, L'\0');

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = dialog_;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = picked.data();
    dialog.nMaxFile = pickedPathLimit;
    dialog.lpstrDefExt = suffix.empty() ? nullptr : suffix.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    if (GetOpenFileNameW(&dialog) == FALSE) {
        return std::nullopt;
    }
    return narrowText(picked.data());
}

bool Win32DialogView::runOnDialogThread(std::function<void()> task) {
    return queue_.call(std::move(task));
}

void Win32DialogView::post(std::function<void()> task) {
    queue_.post(std::move(task));
}

void Win32DialogView::runQueued() {
    queue_.runPending();
}

void Win32DialogView::shutDownDialogThreadCalls() {
    queue_.shutDown();
}

void Win32DialogView::waitWithMessages(const std::function<bool()>& done) {
    EnableWindow(dialog_, FALSE);
    bool quit = false;
    int quitCode = 0;
    while (!done()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
            if (message.message == WM_QUIT) {
                quit = true;
                quitCode = static_cast<int>(message.wParam);
                continue;
            }
            if (IsDialogMessageW(dialog_, &message) == FALSE) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }
    EnableWindow(dialog_, TRUE);
    if (quit) {
        PostQuitMessage(quitCode); // for the loop that owns it
    }
}

} // namespace orvane

// The dialog application's entry on Windows: what lives as long as the process (the serial
// port, the reply flags, the clock), then the main dialog's modal run; the program ends with
// the dialog.
#include "serial/serial_port.h"
#include "ui/win32/upgrade_dlg_win32.h"
#include "upgrade/clock.h"
#include "upgrade/reply_flags.h"

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

// The executable's name without its folder and suffix ("orvane"), the message boxes' caption.
std::wstring applicationName() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return L"orvane";
        }
        if (length < path.size()) {
            return std::filesystem::path(std::wstring(path.data(), length)).stem().wstring();
        }
        path.resize(path.size() * 2);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*show*/) {
    orvane::SerialPort port;
    orvane::ReplyFlags flags;
    orvane::SystemClock clock;
    // This desk's records file, the login name as the operator (nothing where records are
    // not built).
    const orvane::OpenedBook records =
        orvane::openRecordsBook(orvane::RecordsChoice{.toolVersion = ORVANE_VERSION});
    orvane::Win32UpgradeDlg dialog(port, flags, clock, applicationName(), records.book.get(),
                                   records.refusal);
    dialog.DoModal();
    return 0;
}

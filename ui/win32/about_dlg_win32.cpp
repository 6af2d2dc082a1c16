// Built from its template like the main dialog; OK, Escape and the close box end it.
#include "ui/win32/about_dlg_win32.h"

#include "platform/windows_text.h"
#include "ui/dialog_template.h"
#include "ui/win32/dialog_template_builder.h"

namespace orvane {
namespace {

INT_PTR CALLBACK aboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

void showAboutBox(HWND owner) {
    const DialogFrame frame{widenText(aboutBoxCaption), aboutBoxWidth, aboutBoxHeight,
                            WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0};
    const std::vector<DWORD> layout = buildDialogTemplate(frame, aboutBoxControls);
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(layout.data()),
                            owner, aboutProc, 0);
}

} // namespace orvane

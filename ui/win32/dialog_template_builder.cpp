// Each record is a run of WORDs; every item starts on a DWORD boundary.
#include "ui/win32/dialog_template_builder.h"

#include "platform/windows_text.h"

#include <cstring>

namespace orvane {
namespace {

// The templates ask for 9-point SimSun; where it is missing the system's font mapping picks
// the nearest face, as it does for any dialog.
constexpr wchar_t dialogFontName[] = L"SimSun";
constexpr WORD dialogFontPoints = 9;

// The predefined window classes, as the template's class ordinals name them.
constexpr WORD buttonAtom = 0x0080;
constexpr WORD editAtom = 0x0081;
constexpr WORD staticAtom = 0x0082;
constexpr WORD comboBoxAtom = 0x0085;

constexpr DWORD unaddressedId = 0xFFFFFFFF;

class TemplateWriter {
  public:
    void word(WORD value) { words_.push_back(value); }
    void dword(DWORD value) {
        word(LOWORD(value));
        word(HIWORD(value));
    }
    void text(const std::wstring& value) {
        for (const wchar_t c : value) {
            word(static_cast<WORD>(c));
        }
        word(0);
    }
    void alignToDword() {
        if (words_.size() % 2 != 0) {
            word(0);
        }
    }
    std::vector<DWORD> finish() {
        alignToDword();
        std::vector<DWORD> out(words_.size() / 2);
        std::memcpy(out.data(), words_.data(), words_.size() * sizeof(WORD));
        return out;
    }

  private:
    std::vector<WORD> words_;
};

} // namespace

WORD controlClassAtom(ControlKind kind) {
    switch (kind) {
    case ControlKind::ComboBox:
        return comboBoxAtom;
    case ControlKind::PushButton:
    case ControlKind::DefaultPushButton:
        return buttonAtom;
    case ControlKind::Edit:
    case ControlKind::LogEdit:
        return editAtom;
    case ControlKind::Static:
    case ControlKind::Icon:
        return staticAtom;
    }
    return staticAtom;
}

DWORD controlStyle(const ControlTemplate& control) {
    const DWORD base = WS_CHILD | WS_VISIBLE;
    switch (control.kind) {
    case ControlKind::Static:
        // The about box's version line shows "&" as it is.
        return base | SS_LEFT | (control.id == IDC_ABOUT_VERSION ? SS_NOPREFIX : 0);
    case ControlKind::Icon:
        return base | SS_ICON;
    case ControlKind::ComboBox:
        return base | CBS_DROPDOWN | CBS_SORT | WS_VSCROLL | WS_TABSTOP;
    case ControlKind::PushButton:
        return base | BS_PUSHBUTTON | WS_TABSTOP;
    case ControlKind::DefaultPushButton:
        return base | BS_DEFPUSHBUTTON | WS_TABSTOP;
    case ControlKind::Edit:
        return base | ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
    case ControlKind::LogEdit:
        // No horizontal auto-scroll: long lines wrap, so nothing of the log hides off the right.
        return base | ES_LEFT | ES_MULTILINE | ES_READONLY | WS_BORDER | WS_VSCROLL | WS_TABSTOP;
    }
    return base;
}

std::vector<DWORD> buildDialogTemplate(const DialogFrame& frame, std::span<const ControlTemplate> controls) {
    TemplateWriter out;
    out.word(1);      // dlgVer
    out.word(0xFFFF); // signature: the extended form
    out.dword(0);     // helpID
    out.dword(frame.exStyle);
    out.dword(frame.style | DS_SETFONT);
    out.word(static_cast<WORD>(controls.size()));
    out.word(0); // x: centred by DS_CENTER or left to the system
    out.word(0);
    out.word(static_cast<WORD>(frame.width));
    out.word(static_cast<WORD>(frame.height));
    out.word(0); // no menu
    out.word(0); // the dialog class
    out.text(frame.caption);
    out.word(dialogFontPoints);
    out.word(FW_NORMAL);
    out.word(0); // not italic, default character set (one byte each)
    out.text(dialogFontName);

    for (const ControlTemplate& control : controls) {
        out.alignToDword();
        out.dword(0); // helpID
        out.dword(0); // exStyle
        out.dword(controlStyle(control));
        out.word(static_cast<WORD>(control.rect.x));
        out.word(static_cast<WORD>(control.rect.y));
        out.word(static_cast<WORD>(control.rect.width));
        out.word(static_cast<WORD>(control.rect.height));
        // Ids below zero are the about box's controls that nothing addresses: -1, as usual.
        out.dword(control.id < 0 ? unaddressedId : static_cast<DWORD>(control.id));
        out.word(0xFFFF);
        out.word(controlClassAtom(control.kind));
        if (control.kind == ControlKind::Icon) {
            out.word(0xFFFF);
            out.word(static_cast<WORD>(IDR_MAINFRAME));
        } else {
            out.text(widenText(control.text));
        }
        out.word(0); // no creation data
    }
    return out.finish();
}

} // namespace orvane

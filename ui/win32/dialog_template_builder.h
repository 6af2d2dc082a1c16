// The dialogs' templates built at run time from the tables of ui/dialog_template.h, in the
// extended in-memory form the dialog manager takes (DLGTEMPLATEEX, then one DLGITEMTEMPLATEEX
// a control, in table order, which is also the tab order).
#pragma once

#include "ui/dialog_template.h"

#include <windows.h>

#include <span>
#include <string>
#include <vector>

namespace orvane {

struct DialogFrame {
    std::wstring caption;
    int width = 0; // dialog units
    int height = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
};

// The window class and styles a control of that kind is created with; the text is an
// ordinal (the icon's resource id) for an icon.
DWORD controlStyle(const ControlTemplate& control);
WORD controlClassAtom(ControlKind kind);

// The whole template, DWORD-aligned as DialogBoxIndirectParamW needs it: the frame with the
// 9-point dialog font, then the controls. An icon control shows resource IDR_MAINFRAME.
std::vector<DWORD> buildDialogTemplate(const DialogFrame& frame, std::span<const ControlTemplate> controls);

} // namespace orvane

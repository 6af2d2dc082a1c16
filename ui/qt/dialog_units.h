// Dialog units to pixels, as the Windows dialog manager converts them, so the layout matches the
// native dialog's: a horizontal unit is a quarter of the dialog font's average letter width, a
// vertical unit an eighth of its height.
#pragma once

#include "ui/dialog_template.h"

#include <QFont>
#include <QRect>

namespace orvane {

// The dialog font: the templates ask for 9-point SimSun, which Linux lacks; WenQuanYi Micro
// Hei is a CJK-capable font of the same role that the set-up script installs.
QFont dialogFont();

struct DialogBaseUnits {
    int x = 0; // average width of the 52 letters A-Z a-z, rounded, in pixels
    int y = 0; // font height in pixels
};

DialogBaseUnits baseUnitsOf(const QFont& font);

// value * numerator / denominator, rounded half away from zero (the platform's MulDiv).
int mulDiv(int value, int numerator, int denominator);

int toPixelsX(int dialogUnits, DialogBaseUnits base);
int toPixelsY(int dialogUnits, DialogBaseUnits base);
QRect toPixels(DialogRect rect, DialogBaseUnits base);

} // namespace orvane

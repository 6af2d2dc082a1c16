// Conversion of template coordinates with the dialog font's metrics.
#include "ui/qt/dialog_units.h"

#include <QFontMetrics>
#include <QString>

namespace orvane {

QFont dialogFont() {
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPointSize(9);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

DialogBaseUnits baseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // The average rounded as the Windows dialog manager rounds it: (total / 26 + 1) / 2.
    return {(letters / 26 + 1) / 2, metrics.height()};
}

int mulDiv(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    const long long rounded = product >= 0 ? (product + half) / denominator : (product - half) / denominator;
    return static_cast<int>(rounded);
}

int toPixelsX(int dialogUnits, DialogBaseUnits base) {
    return mulDiv(dialogUnits, base.x, 4);
}

int toPixelsY(int dialogUnits, DialogBaseUnits base) {
    return mulDiv(dialogUnits, base.y, 8);
}

QRect toPixels(DialogRect rect, DialogBaseUnits base) {
    return {toPixelsX(rect.x, base), toPixelsY(rect.y, base), toPixelsX(rect.width, base),
            toPixelsY(rect.height, base)};
}

} // namespace orvane

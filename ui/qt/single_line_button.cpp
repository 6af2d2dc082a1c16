// Draws the button through the style with a one-line text.
#include "ui/qt/single_line_button.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace orvane {

QString SingleLineButton::drawnText(const QString& text) {
    QString line = text;
    line.remove(QLatin1Char('\r'));
    line.remove(QLatin1Char('\n'));
    return line;
}

void SingleLineButton::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text = drawnText(option.text);
    painter.drawControl(QStyle::CE_PushButton, option);
}

} // namespace orvane

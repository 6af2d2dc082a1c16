// The camera is drawn on a grid of 16 units so both sizes share one drawing: a head with a
// lens on a neck and a base, without antialiasing so only palette colours appear.
#include "ui/qt/app_icon.h"

#include <QPainter>

namespace orvane {
namespace {

// The colours of the standard 16-colour palette that the drawing uses.
const QColor black(0x00, 0x00, 0x00);
const QColor darkGray(0x80, 0x80, 0x80);
const QColor lightGray(0xC0, 0xC0, 0xC0);
const QColor white(0xFF, 0xFF, 0xFF);
const QColor navy(0x00, 0x00, 0x80);
const QColor blue(0x00, 0x00, 0xFF);
const QColor red(0xFF, 0x00, 0x00);

} // namespace

QImage drawAppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const qreal unit = size / 16.0;
    painter.scale(unit, unit);
    painter.setPen(Qt::NoPen);

    // Base and neck.
    painter.setBrush(darkGray);
    painter.drawRect(QRectF(3, 13, 10, 2));
    painter.setBrush(lightGray);
    painter.drawRect(QRectF(7, 10, 2, 3));
    // Head with outline.
    painter.setBrush(black);
    painter.drawRect(QRectF(1, 3, 14, 8));
    painter.setBrush(lightGray);
    painter.drawRect(QRectF(2, 4, 12, 6));
    // Lens.
    painter.setBrush(black);
    painter.drawEllipse(QRectF(4, 4, 6, 6));
    painter.setBrush(navy);
    painter.drawEllipse(QRectF(5, 5, 4, 4));
    painter.setBrush(blue);
    painter.drawRect(QRectF(6, 6, 2, 2));
    painter.setBrush(white);
    painter.drawRect(QRectF(6, 6, 1, 1));
    // Tally light.
    painter.setBrush(red);
    painter.drawRect(QRectF(12, 5, 1, 1));
    painter.end();
    return image;
}

QIcon appIcon() {
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(drawAppIcon(32)));
    icon.addPixmap(QPixmap::fromImage(drawAppIcon(16)));
    return icon;
}

} // namespace orvane

// Icon 128: a small PTZ camera of our own, drawn at 32 by 32 and 16 by 16 pixels in the
// 16 colours of the standard 4-bit palette, which every icon of 16 colours uses.
#pragma once

#include <QIcon>
#include <QImage>

namespace orvane {

// One image of the icon, size 32 or 16.
QImage drawAppIcon(int size);

// Both images in one icon.
QIcon appIcon();

} // namespace orvane

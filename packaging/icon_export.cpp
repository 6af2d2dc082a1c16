// Writes the application icon into a hicolor icon theme folder, from the very drawing the
// dialog shows in its title bar, so the menu's icon and the window's never differ.
//   orvane_icon_export FOLDER   writes FOLDER/<N>x<N>/apps/orvane.png for every theme size
#include "ui/qt/app_icon.h"

#include <QDir>
#include <QString>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvane_icon_export FOLDER\n");
        return 2;
    }
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QString("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        const QString file = folder + "/orvane.png";
        if (!QDir().mkpath(folder) || !orvane::drawAppIcon(size).save(file, "PNG")) {
            std::fprintf(stderr, "orvane_icon_export: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}

// Built from its template like the main dialog; its OK button ends it.
#include "ui/qt/about_dlg.h"

#include "ui/qt/app_icon.h"
#include "ui/qt/control_builder.h"
#include "ui/qt/dialog_item.h"

#include <QAbstractButton>

namespace orvane {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setFont(dialogFont());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromUtf8(aboutBoxCaption.data(), static_cast<qsizetype>(aboutBoxCaption.size())));
    setWindowIcon(appIcon());
    const DialogBaseUnits base = baseUnitsOf(font());
    setFixedSize(toPixelsX(aboutBoxWidth, base), toPixelsY(aboutBoxHeight, base));
    buildControls(this, aboutBoxControls, base, appIcon());
    if (auto* ok = qobject_cast<QAbstractButton*>(dlgItem(this, IDOK))) {
        connect(ok, &QAbstractButton::clicked, this, &QDialog::accept);
    }
}

} // namespace orvane

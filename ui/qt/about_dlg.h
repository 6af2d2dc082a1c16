// The about box, template 100: the icon, "OrvaneV1.0", a line of our own and OK.
#pragma once

#include <QDialog>

namespace orvane {

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

} // namespace orvane

// Start-up: the Qt application (its name, the executable's, captions the message boxes),
// then the dialog's modal run.
#include "ui/qt/upgrade_app.h"

#include "ui/qt/upgrade_dlg.h"

#include <QApplication>

namespace orvane {

int CUpgradeApp::run(int argc, char** argv) {
    QApplication application(argc, argv);
    InitInstance();
    return 0;
}

bool CUpgradeApp::InitInstance() {
    CUpgradeDlg dialog(DialogServices{port_, flags_, clock_, prompts_});
    dialog.exec();
    return false;
}

} // namespace orvane

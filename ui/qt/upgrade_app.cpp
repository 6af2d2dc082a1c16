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
    // This desk's records file, the login name as the operator; a file that cannot be opened
    // leaves the dialog without records, and each job says why.
    const OpenedBook records = openRecordsBook(RecordsChoice{.toolVersion = ORVANE_VERSION});
    CUpgradeDlg dialog(DialogServices{.port = port_,
                                      .flags = flags_,
                                      .clock = clock_,
                                      .prompts = prompts_,
                                      .records = records.book.get(),
                                      .recordsRefusal = records.refusal});
    dialog.exec();
    return false;
}

} // namespace orvane

// The dialog application's entry: the one application object runs the dialog.
#include "ui/qt/upgrade_app.h"

namespace {
orvane::CUpgradeApp theApp;
} // namespace

int main(int argc, char** argv) {
    return theApp.run(argc, argv);
}

// The application object: one for the process. It owns what lives as long as the process
// (the serial port, the reply flags, the clock), shows the main dialog modally and ends the
// program when the dialog ends; there is no other main loop.
#pragma once

#include "serial/serial_port.h"
#include "ui/qt/dialog_prompts.h"
#include "upgrade/clock.h"
#include "upgrade/reply_flags.h"

namespace orvane {

class CUpgradeApp {
  public:
    CUpgradeApp() = default;
    CUpgradeApp(const CUpgradeApp&) = delete;
    CUpgradeApp& operator=(const CUpgradeApp&) = delete;

    // Creates the Qt application, then InitInstance; answers the process's exit code.
    int run(int argc, char** argv);

    // Runs the main dialog modally; answers false, so the program ends when it returns.
    bool InitInstance();

  private:
    SerialPort port_;
    ReplyFlags flags_;
    SystemClock clock_;
    QtDialogPrompts prompts_;
};

} // namespace orvane

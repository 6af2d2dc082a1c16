// One upgrade from the command line: the dialog's job on the worker thread, with the reply
// receiver beside it, its log printed as it comes and Ctrl-C turned into a cancel.
#pragma once

#include <string>

#include "cli/console.h"
#include "cli/interrupt.h"
#include "text/text_language.h"
#include "upgrade/frames.h"

namespace orvane {

struct UpgradeRequest {
    std::string imagePath;
    std::string portName;
    int lineSpeed = 9600;
    int upgradeSpeed = 9600;
    int address = 1;
    UpgradeTarget target = UpgradeTarget::MainBoard;
};

// Runs the job to its end and answers the exit status: 0 when it logged "Update was
// successful !", 1 when it logged "Update was failed !", 3 when it ended because the image or
// the port could not be used (its log says why), 128 + the signal when interrupted.
int runUpgradeSession(const UpgradeRequest& request, Console& console, TextLanguage language,
                      const InterruptWatch& interrupt);

} // namespace orvane

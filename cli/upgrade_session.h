// One upgrade from the command line: the dialog's job on the worker thread, with the reply
// receiver beside it, its log printed as it comes and Ctrl-C turned into a cancel.
#pragma once

#include <string>

#include "cli/console.h"
#include "cli/interrupt.h"
#include "text/text_language.h"
#include "upgrade/frames.h"
#include "upgrade/upgrade_outcome.h"

namespace orvane {

struct UpgradeRequest {
    std::string imagePath;
    std::string portName;
    int lineSpeed = 9600;
    int upgradeSpeed = 9600;
    int address = 1;
    UpgradeTarget target = UpgradeTarget::MainBoard;
    std::uint32_t maxResends = 0; // 0: a refused block is sent again for ever
    bool lowLatency = false;      // react to replies as they come (--low-latency)
};

// The exit status for a job's outcome: 0 succeeded, 1 the camera failed, 3 the image or the
// port could not be used, 128 + the signal when an interrupt cancelled it (1 for another
// cancel).
int exitStatusOf(const UpgradeOutcome& outcome, const InterruptWatch& interrupt);

// Runs the job to its end, prints its log as it comes and its result, and answers the exit
// status (exitStatusOf).
int runUpgradeSession(const UpgradeRequest& request, Console& console, TextLanguage language,
                      const InterruptWatch& interrupt);

} // namespace orvane

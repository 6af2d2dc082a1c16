// Upgrades from the command line: the dialog's job on a worker thread per camera, each with
// its own port and reply receiver, their logs printed as they come and Ctrl-C turned into a
// cancel of every one.
#pragma once

#include "attempts/records_book.h"
#include "cli/interrupt.h"
#include "cli/upgrade_summary.h"
#include "output/console.h"
#include "serial/serial_link.h"
#include "text/text_language.h"
#include "upgrade/frames.h"
#include "upgrade/upgrade_outcome.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orvane {

// Everything one run of `upgrade` (or the demo) asks for; the same for every camera but the
// port.
struct UpgradeRequest {
    std::string imagePath;
    std::vector<std::string> ports; // one camera a port
    // When set, what every camera is sent, as read once (and checked) before the run; else
    // each job reads imagePath itself.
    std::optional<std::vector<std::uint8_t>> image;
    // When not empty, the line of each port in place of the serial port of that name (the
    // demo's in-memory cameras); they must outlive the run.
    std::vector<SerialLink*> links;
    int lineSpeed = 9600;
    int upgradeSpeed = 9600;
    int address = 1;
    UpgradeTarget target = UpgradeTarget::MainBoard;
    TextLanguage language = TextLanguage::English;
    std::uint32_t maxResends = 0; // 0: a refused block is sent again for ever
    bool lowLatency = false;      // react to replies as they come (--low-latency)
    // Where each camera's attempt is kept; null: nowhere. It must outlive the run. Required:
    // a camera whose running record cannot be kept is not upgraded (exit 3).
    RecordsBook* records = nullptr;
    bool recordsRequired = false;
    std::optional<std::string> unit; // the one camera's label, checked (--unit)
};

struct UpgradeRun {
    int exitStatus = 0;
    std::vector<CameraReport> cameras;
};

// The exit status for a job's outcome: 0 succeeded, 1 the camera failed, 3 the image or the
// port could not be used, 128 + the signal when an interrupt cancelled it (1 for another
// cancel).
int exitStatusOf(const UpgradeOutcome& outcome, const InterruptWatch& interrupt);

// The status of a run of several: an interrupt's status if one came, else 3 if any image or
// port was unusable, else 1 if any camera failed, else 0.
int combinedExitStatus(std::span<const CameraReport> cameras, const InterruptWatch& interrupt);

// Says that a record could not be kept, or waits for the line's server, and why: a note on
// standard error, in JSON a "recordNotKept" or "recordWaiting" event.
void sayRecordTrouble(Console& console, TextLanguage language, const RecordTroubleNote& note,
                      const PortTag& port = {});

// Runs a job for every port at once to their ends and prints their logs as they come; every
// event names its port, and each port gets a result. One port: the lines of a single upgrade.
// Several: every line names its port too, and a summary (a table, or a "summary" event) ends
// the run.
UpgradeRun runUpgradeSession(const UpgradeRequest& request, Console& console,
                             const InterruptWatch& interrupt);

} // namespace orvane

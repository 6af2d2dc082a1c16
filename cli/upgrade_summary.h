// How the cameras' upgrades are told: a result for each camera and, with several, a summary
// at the end (a table, or a "summary" event whose entries carry the cameras' result fields).
#pragma once

#include "output/console.h"
#include "upgrade/upgrade_outcome.h"

#include <cstdint>
#include <span>
#include <string>

namespace orvane {

// How one camera's upgrade went.
struct CameraReport {
    std::string port; // as the user gave it
    UpgradeOutcome outcome;
    int exitStatus = 0;
    double seconds = 0.0;    // from the start of its job to its end
    std::uint64_t bytes = 0; // of the image the camera accepted
    std::string lastLine;    // the job's last log line
    std::string signal;      // the signal that stopped its job, when one did
    double bytesPerSecond() const { return seconds > 0.0 ? static_cast<double>(bytes) / seconds : 0.0; }
};

// The camera's result: its last log line, the reason, step and block when it failed, and its
// time, rate and resends. Human output has shown it already through the job's log; several
// names the port in its lines.
CommandResult cameraResult(const CameraReport& camera, bool several);

// The end of a run of several, with the combined status: the table of the cameras (port,
// result, seconds, bytes per second, resends, reason), or the "summary" event.
void printSummary(Console& console, std::span<const CameraReport> cameras, int status);

} // namespace orvane

// The upgrade job's log as the command line shows it: each new log line printed once as it
// comes, the progress line as a bar on a terminal, as one line per whole-percent change
// otherwise, and as events in JSON mode.
#pragma once

#include "cli/console.h"
#include "cli/log_lines.h"
#include "upgrade/transfer_pace.h"
#include "upgrade/upgrade_job.h"

#include <chrono>
#include <mutex>
#include <optional>
#include <string>

namespace orvane {

class JobLogPrinter final : public UpgradeLog {
  public:
    // port names the camera in every event, and in every line and bar when it is one of
    // several; barRow is its row among the progress bars.
    explicit JobLogPrinter(Console& console, PortTag port = {}, std::size_t barRow = 0);

    void replaceLog(const std::string& text) override;
    void appendLog(const std::string& text) override;
    std::string showWithLog(const std::string& tail) override;
    void progress(const UpgradeProgress& progress) override;
    // Human output: the reason on standard error, where a technician's terminal shows it and
    // standard output keeps only the job's log lines. JSON: the result event has it.
    void reason(const std::string& text) override;
    // Human output: on standard error like the reason; JSON: an "advice" event. Both name the
    // port like the job's lines and events.
    void advice(const std::string& text) override;

    // The last log line printed: the outcome, or the reason the job could not start.
    std::string lastLine() const;
    // The job has ended: close a drawn bar.
    void finish();
    // The last progress the job reported, if it got to the blocks.
    std::optional<UpgradeProgress> latestProgress() const;
    // "block 2 refused, sending again (3)": what a resend looks like to the user.
    static std::string resendText(const UpgradeProgress& progress);

  private:
    void printLinesLocked(const std::vector<std::string>& lines);
    void drawLocked();
    bool plainProgressLocked() const;

    using Clock = std::chrono::steady_clock;

    Console& console_;
    const PortTag port_;
    const std::size_t barRow_;
    mutable std::mutex mutex_;
    LogMirror mirror_;
    std::string lastProgressLine_;
    std::optional<unsigned> printedPercent_;
    std::optional<UpgradeProgress> latest_;
    TransferClock transfer_;
    std::string lastLine_;
    std::optional<Clock::time_point> lastResendNote_;
    bool barsFit_ = true; // as the last drawing found the terminal
};

} // namespace orvane

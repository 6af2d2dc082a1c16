// The upgrade job's log as the command line shows it: each new log line printed once as it
// comes, the progress line as a bar on a terminal, as one line per whole-percent change
// otherwise, and as events in JSON mode.
#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string>

#include "cli/console.h"
#include "cli/log_lines.h"
#include "text/text_language.h"
#include "upgrade/upgrade_job.h"

namespace orvane {

class JobLogPrinter final : public UpgradeLog {
public:
    JobLogPrinter(Console& console, TextLanguage language);

    void replaceLog(const std::string& text) override;
    void appendLog(const std::string& text) override;
    std::string showWithLog(const std::string& tail) override;
    void progress(const UpgradeProgress& progress) override;

    // Whether the job wrote "Update was failed !" / "Update was successful !".
    bool failureLogged() const;
    bool successLogged() const;
    // The last log line printed: the outcome, or the reason the job could not start.
    std::string lastLine() const;
    // The job has ended: close a drawn bar.
    void finish();

private:
    void printLinesLocked(const std::vector<std::string>& lines);
    void drawLocked();

    using Clock = std::chrono::steady_clock;

    Console& console_;
    std::string failureText_;
    std::string successText_;
    mutable std::mutex mutex_;
    LogMirror mirror_;
    std::string lastProgressLine_;
    std::optional<unsigned> printedPercent_;
    std::optional<UpgradeProgress> latest_;
    std::optional<std::pair<Clock::time_point, std::uint32_t>> firstProgress_;
    std::string lastLine_;
    bool failed_ = false;
    bool succeeded_ = false;
};

} // namespace orvane

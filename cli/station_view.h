// How the command line shows a station: in JSON the upgrade's own events for every attempt
// plus "slot" events as cameras come and go; otherwise a line for each slot as it changes
// (plugged, unplugged, a retry, its ending with the reason and the counters). Those lines
// stay, so they are folded at the terminal's width, never cut; what they carry from outside
// (a nickname, a port, a path) is shown escaped as the records' table shows it.
#pragma once

#include "output/console.h"
#include "station/station.h"
#include "text/text_language.h"

#include <chrono>
#include <mutex>
#include <string>

namespace orvane {

class StationView final : public StationFront, public StationListener {
  public:
    // labelWindow: how long a label read waits for its camera (--scan-window).
    StationView(Console& console, TextLanguage language, bool bell, std::chrono::seconds labelWindow);

    std::unique_ptr<UpgradeLog> attemptLog(const SlotSnapshot& slot) override;
    void attemptEnded(const SlotSnapshot& slot, UpgradeLog* log, const UpgradeOutcome& outcome,
                      double seconds) override;
    void stationEvent(const StationEvent& event, const StationSnapshot& now) override;
    void labelNote(const LabelNote& note) override;
    // --job: a version taken, the job retired, the server lost or back (station_job_view.cpp).
    void jobNote(const JobNote& note) override;
    // --job: the shift starts from the copy kept in folder, the server not answering.
    void jobFromCopy(const ReleasedJob& job, const std::string& why, const std::string& folder);

    // A line of the station's own that stays (the start); on standard error when note.
    void say(const std::string& text, bool note = false);
    // The watched folder is not there (yet): where it comes from, and the other way.
    void noFolder(const std::string& folder);
    // The day's figures from the records, as the shift starts.
    void today(const Tally& tally);
    // The end of the shift: the counters of every slot and in total; answers the exit status.
    int summary(const StationSnapshot& now, int exitStatus);

  private:
    std::string countersText(const Tally& tally) const;
    std::string stateText(const SlotSnapshot& slot) const; // "waiting", "failed (reason)" ...
    // "retry 1 of R" for a plug's second attempt; empty for its first.
    std::string retryText(const SlotSnapshot& slot, unsigned retries) const;
    // "name: " (with the retry) and the state.
    std::string slotState(const SlotSnapshot& slot, unsigned retries) const;
    std::string slotTitle(const SlotSnapshot& slot) const; // the slot's name, its unit after it
    // Terminal: a row per slot redrawn in place, at most ten times a second for progress.
    void drawSlots(const StationSnapshot& now, bool progressOnly);

    Console& console_;
    TextLanguage language_;
    bool bell_;
    std::chrono::seconds window_;
    std::chrono::steady_clock::time_point lastDraw_{}; // events come one at a time
};

} // namespace orvane

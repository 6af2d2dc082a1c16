// The line as its page shows it, kept by the reader and read by the page's server on their
// own threads: the stations' rows, the server's clock when they were read, and the counts.
// Each change is told to the watcher as the page's "state" message.
#pragma once

#include "line/line_station.h"
#include "line/line_yields.h"

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace orvane {

struct LineViewSettings {
    std::chrono::seconds staleAfter{15};
    int dayStartMinutes = 0; // after the host's midnight
    std::string lang{};      // the page's first language; empty: the browser's
    bool control = false;    // the page may pause and resume stations
};

class LineView {
  public:
    // changed: a "state" message's JSON, called with the view unlocked.
    using Watcher = std::function<void(const std::string& message)>;

    explicit LineView(LineViewSettings settings) : settings_(settings) {}
    void watch(Watcher watcher);

    // A station's row as read now (none: the row is gone), with the server's clock.
    void station(const std::string& name, const std::optional<LineStation>& row, std::int64_t serverNowMs);
    // Every row as read now: the ones missing are gone.
    void stations(const std::map<std::string, LineStation>& rows, std::int64_t serverNowMs);
    void yields(LineYields counted);
    // Why the database cannot be read, or none once it answers again.
    void databaseTrouble(std::optional<std::string> reason);

    std::string json() const;                                // /api/line
    std::map<std::string, std::int64_t> shiftStarts() const; // each station's start
    std::int64_t dayStart() const;                           // by the server's clock
    std::optional<std::int64_t> serverNow() const;
    bool known(const std::string& name) const;
    const LineViewSettings& settings() const { return settings_; }

  private:
    struct Shown {
        LineStation row;
        StationStatus status = StationStatus::running;
    };
    // Takes the row when it changes what the page shows; answers the message to send.
    std::optional<std::string> take(const std::string& name, const std::optional<LineStation>& row);
    JsonFields lineJsonLocked() const;
    JsonFields entryJsonLocked(const Shown& shown) const;
    JsonFields totalsLocked() const;
    void tell(const std::vector<std::string>& messages) const;

    LineViewSettings settings_;
    mutable std::mutex mutex_;
    std::map<std::string, Shown> shown_;
    std::optional<std::int64_t> serverNowMs_;
    LineYields yields_;
    std::optional<std::string> trouble_;
    Watcher watcher_;
};

} // namespace orvane

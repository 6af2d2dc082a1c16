// A station whose records go to a line's PostgreSQL server is on that line: it claims its
// name there, publishes its row for the line's page and obeys the line's pause. Where the
// program has no line (Windows, or a build without the station's page) there is nothing to do.
#pragma once

#include "attempts/records_book.h"
#include "output/console.h"
#include "station/station_state.h"
#include "text/text_language.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orvane {

struct LineHooks {
    std::function<bool(const std::string& slot)> held; // the slots held on the station itself
    std::function<void(bool paused)> pausedChanged;    // on the publisher's thread
};

class StationLine {
  public:
    StationLine();
    ~StationLine(); // marks the row stopped
    StationLine(const StationLine&) = delete;
    StationLine& operator=(const StationLine&) = delete;

    // Starts publishing when records goes to a line's server; answers the exit status (3) when
    // another live station has the name.
    std::optional<int> start(StationState& state, const RecordsChoice& records, LineHooks hooks,
                             Console& console, TextLanguage language);
    // The line paused the whole station.
    bool paused() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace orvane

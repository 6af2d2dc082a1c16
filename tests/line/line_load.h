// A load generator for the line: stations' rows written to the line's database by the very
// statements a station publishes with (line/station_row.h), each row's state the station's
// page's JSON, so the line's page can be tested and measured without station processes.
#pragma once

#include "line/line_connection.h"
#include "station/station_state.h"

#include <cstddef>
#include <map>
#include <string>

namespace orvane::test {

class LineLoad {
  public:
    explicit LineLoad(const std::string& uri) : line_(uri) {}

    bool connected();
    // The station's row as it is now (its first write starts its shift), then NOTIFY.
    bool publish(const std::string& station, const StationSnapshot& now);
    // Marks the row stopped, as a station that ends cleanly does.
    bool stop(const std::string& station);
    // Any SQL, for a test's own rows.
    bool exec(const std::string& sql);

  private:
    LineConnection line_;
    std::map<std::string, std::string> states_; // the last state written, by station
};

// A station of slots "s1" to "sN", every one waiting with a camera in.
StationSnapshot loadStation(std::size_t slots);

} // namespace orvane::test

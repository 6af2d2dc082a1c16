// A load generator for the line: writes stations' rows to the line's database the way a
// station publishes its own (the row, its state as the station's page serves it, NOTIFY), so
// the line's page can be tested and measured without station processes.
#pragma once

#include "station/station_state.h"

#include <cstddef>
#include <string>

struct pg_conn;

namespace orvane::test {

class LineLoad {
  public:
    explicit LineLoad(const std::string& uri);
    ~LineLoad();
    LineLoad(const LineLoad&) = delete;
    LineLoad& operator=(const LineLoad&) = delete;

    bool connected() const;
    // The station's row as it is now (a first write starts it), last seen now(), then NOTIFY.
    bool publish(const std::string& station, const StationSnapshot& now);
    // Marks the row stopped, as a station that ends cleanly does.
    bool stop(const std::string& station);
    // Any SQL, for a test's own rows.
    bool exec(const std::string& sql);

  private:
    pg_conn* pg_ = nullptr;
};

// A station of slots "s1" to "sN", every one waiting with a camera in.
StationSnapshot loadStation(std::size_t slots);

} // namespace orvane::test

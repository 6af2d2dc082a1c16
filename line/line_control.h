// Pause and resume from the line's page: a row in station_commands, which the station reads,
// and a NOTIFY on orvane_station_commands that only wakes it. Over a connection of its own,
// whose every wait is bounded: a server gone silent costs a request seconds, never the page.
#pragma once

#include "line/line_connection.h"

#include <mutex>
#include <string>

namespace orvane {

class LineControl {
  public:
    explicit LineControl(std::string uri) : line_(std::move(uri)) {}

    // command: "pause" or "resume"; false with error said when the database refuses it (a role
    // without INSERT on station_commands) or does not answer.
    bool send(const std::string& station, const std::string& command, std::string& error);

  private:
    std::mutex mutex_;
    LineConnection line_;
};

} // namespace orvane

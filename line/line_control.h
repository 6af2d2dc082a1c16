// Pause and resume from the line's page: a row in station_commands, which the station reads,
// and a NOTIFY on orvane_station_commands that only wakes it. Over a connection of its own.
#pragma once

#include <memory>
#include <mutex>
#include <string>

struct pg_conn;

namespace orvane {

class LineControl {
  public:
    explicit LineControl(std::string uri) : uri_(std::move(uri)) {}
    ~LineControl();
    LineControl(const LineControl&) = delete;
    LineControl& operator=(const LineControl&) = delete;

    // command: "pause" or "resume"; false with error said when the database refuses it (a role
    // without INSERT on station_commands) or does not answer.
    bool send(const std::string& station, const std::string& command, std::string& error);

  private:
    std::string uri_;
    std::mutex mutex_;
    pg_conn* pg_ = nullptr;
};

} // namespace orvane

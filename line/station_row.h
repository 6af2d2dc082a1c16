// A station's row in the line's `stations` table, and the commands the line left for it in
// `station_commands`. Every write is one statement that also notifies `orvane_stations`, so the
// line's page is woken exactly when a row changed; the times are the server's (now()).
#pragma once

#include "line/line_connection.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

struct StationRow {
    std::string name;
    std::string host;
    std::int64_t processId = 0;
    std::optional<std::string> job{};
    std::optional<std::int64_t> jobVersion{};
    std::string imageSha256{};
    std::string state = "{}"; // the station's JSON
};

// The station that holds a name: heard from within the stale window and not stopped.
struct NameHolder {
    std::string host;
    std::int64_t secondsAgo = 0;
};

enum class RowWrite : std::uint8_t { written, taken, failed };

// Writes the row and notifies. The row is ours when it names this host and process, or when
// it is free: stopped, or not heard from within staleAfter; otherwise it is left alone and
// holder (when given) says who has it. starting: a new shift, whose started_at is now.
RowWrite writeStationRow(LineConnection& line, const StationRow& row, std::chrono::seconds staleAfter,
                         bool starting, NameHolder* holder = nullptr);

// Marks our row stopped now, with its last state, and notifies.
bool stopStationRow(LineConnection& line, const StationRow& row);

struct StationCommand {
    std::int64_t id = 0;
    std::string command; // "pause" or "resume"
};

// The largest command id yet, so a station starting obeys only what comes after.
std::optional<std::int64_t> latestCommandId(LineConnection& line);
// The commands for station after id, oldest first.
std::optional<std::vector<StationCommand>> commandsAfter(LineConnection& line, const std::string& station,
                                                         std::int64_t id);

} // namespace orvane

#include "line/line_control.h"

#include "records/line_tables.h"

namespace orvane {

bool LineControl::send(const std::string& station, const std::string& command, std::string& error) {
    const std::lock_guard lock(mutex_);
    std::string why;
    if (!line_.connect(why)) {
        error = "the line's database does not answer: " + why;
        return false;
    }
    // One statement: the row and its wake-up are one transaction.
    const SqlRows issued = line_.run("WITH issued AS (INSERT INTO station_commands (station, command) "
                                     "VALUES ($1, $2) RETURNING station) "
                                     "SELECT pg_notify($3, station) FROM issued",
                                     {station, command, std::string(stationCommandsChannel)});
    if (!issued.ok()) {
        error = "the line's database refused the " + command + ": " + issued.error();
    }
    return issued.ok();
}

} // namespace orvane

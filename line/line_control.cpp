#include "line/line_control.h"

#include "records/line_tables.h"

#include <libpq-fe.h>

namespace orvane {

LineControl::~LineControl() {
    if (pg_) {
        PQfinish(pg_);
    }
}

bool LineControl::send(const std::string& station, const std::string& command, std::string& error) {
    const std::lock_guard lock(mutex_);
    if (pg_ && PQstatus(pg_) != CONNECTION_OK) {
        PQreset(pg_);
    }
    if (!pg_) {
        pg_ = PQconnectdb(uri_.c_str());
        PQsetNoticeProcessor(
            pg_, [](void*, const char*) {}, nullptr);
    }
    if (PQstatus(pg_) != CONNECTION_OK) {
        error = "the line's database does not answer: " + std::string(PQerrorMessage(pg_));
        return false;
    }
    // One statement: the row and its wake-up are one transaction.
    const std::string channel(stationCommandsChannel);
    const char* values[] = {station.c_str(), command.c_str(), channel.c_str()};
    PGresult* result = PQexecParams(pg_,
                                    "WITH issued AS (INSERT INTO station_commands (station, command) "
                                    "VALUES ($1, $2) RETURNING station) "
                                    "SELECT pg_notify($3, station) FROM issued",
                                    3, nullptr, values, nullptr, nullptr, 0);
    const bool ok = PQresultStatus(result) == PGRES_TUPLES_OK;
    if (!ok) {
        error =
            "the line's database refused the " + command + ": " + std::string(PQresultErrorMessage(result));
    }
    PQclear(result);
    return ok;
}

} // namespace orvane

#include "line_load.h"

#include "dashboard/station_json.h"

#include <libpq-fe.h>
#include <unistd.h>

namespace orvane::test {

LineLoad::LineLoad(const std::string& uri) : pg_(PQconnectdb(uri.c_str())) {
    PQsetNoticeProcessor(
        pg_, [](void*, const char*) {}, nullptr);
}

LineLoad::~LineLoad() {
    PQfinish(pg_);
}

bool LineLoad::connected() const {
    return PQstatus(pg_) == CONNECTION_OK;
}

bool LineLoad::exec(const std::string& sql) {
    PGresult* result = PQexec(pg_, sql.c_str());
    const auto status = PQresultStatus(result);
    PQclear(result);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

bool LineLoad::publish(const std::string& station, const StationSnapshot& now) {
    const std::string state = jsonLine(stationJson(now));
    const std::string pid = std::to_string(getpid());
    const char* values[] = {station.c_str(), pid.c_str(), now.imageSha256.c_str(), state.c_str()};
    PGresult* result = PQexecParams(
        pg_,
        "WITH kept AS (INSERT INTO stations (name, host, process_id, image_sha256, state) "
        "VALUES ($1, 'load', $2, NULLIF($3, ''), $4::jsonb) ON CONFLICT (name) DO UPDATE SET "
        "process_id = EXCLUDED.process_id, image_sha256 = EXCLUDED.image_sha256, state = EXCLUDED.state, "
        "last_seen = now(), stopped_at = NULL RETURNING name) "
        "SELECT pg_notify('orvane_stations', name) FROM kept",
        4, nullptr, values, nullptr, nullptr, 0);
    const bool ok = PQresultStatus(result) == PGRES_TUPLES_OK;
    PQclear(result);
    return ok;
}

bool LineLoad::stop(const std::string& station) {
    const char* values[] = {station.c_str()};
    PGresult* result = PQexecParams(pg_,
                                    "WITH kept AS (UPDATE stations SET stopped_at = now(), last_seen = now() "
                                    "WHERE name = $1 RETURNING name) "
                                    "SELECT pg_notify('orvane_stations', name) FROM kept",
                                    1, nullptr, values, nullptr, nullptr, 0);
    const bool ok = PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1;
    PQclear(result);
    return ok;
}

StationSnapshot loadStation(std::size_t slots) {
    StationSnapshot station;
    station.imageName = "camera.bin";
    station.imageSha256 = std::string(64, 'a');
    for (std::size_t i = 1; i <= slots; ++i) {
        SlotSnapshot slot;
        slot.name = "s" + std::to_string(i);
        slot.port = "/dev/pts/" + std::to_string(i);
        slot.present = true;
        station.slots.push_back(slot);
    }
    return station;
}

} // namespace orvane::test

#include "line/station_row.h"

#include "records/line_tables.h"

namespace orvane {
namespace {

std::optional<std::string> numberOrNull(const std::optional<std::int64_t>& number) {
    return number ? std::optional(std::to_string(*number)) : std::nullopt;
}

// The row goes in unless another live station holds the name; a new shift starts now, and
// so does one that takes a row over from a station that is gone.
const std::string writeSql = R"(WITH written AS (
  INSERT INTO stations AS s (name, host, process_id, job, job_version, image_sha256, state)
  VALUES ($1, $2, $3, $4, $5, $6, $7::jsonb)
  ON CONFLICT (name) DO UPDATE SET
    started_at = CASE WHEN NOT $9::boolean AND s.host = excluded.host
                        AND s.process_id = excluded.process_id THEN s.started_at ELSE now() END,
    host = excluded.host, process_id = excluded.process_id, job = excluded.job,
    job_version = excluded.job_version, image_sha256 = excluded.image_sha256, state = excluded.state,
    last_seen = now(), stopped_at = NULL
  WHERE (s.host = excluded.host AND s.process_id = excluded.process_id) OR s.stopped_at IS NOT NULL
    OR s.last_seen < now() - make_interval(secs => $8::double precision)
  RETURNING name)
SELECT pg_notify($10, name) FROM written)";

const std::string stopSql = R"(WITH stopped AS (
  UPDATE stations SET stopped_at = now(), last_seen = now(), state = $4::jsonb
  WHERE name = $1 AND host = $2 AND process_id = $3 RETURNING name)
SELECT pg_notify($5, name) FROM stopped)";

} // namespace

RowWrite writeStationRow(LineConnection& line, const StationRow& row, std::chrono::seconds staleAfter,
                         bool starting, NameHolder* holder) {
    const SqlRows written = line.run(writeSql, {row.name, row.host, std::to_string(row.processId), row.job,
                                                numberOrNull(row.jobVersion), row.imageSha256, row.state,
                                                std::to_string(staleAfter.count()),
                                                starting ? "true" : "false", std::string(stationsChannel)});
    if (!written.ok()) {
        return RowWrite::failed;
    }
    if (written.count() == 1) {
        return RowWrite::written;
    }
    if (holder != nullptr) {
        const SqlRows held = line.run(
            "SELECT host, floor(extract(epoch FROM now() - last_seen))::bigint FROM stations WHERE name = $1",
            {row.name});
        if (held.ok() && held.count() == 1) {
            *holder = {held.text(0, 0), std::stoll(held.text(0, 1))};
        }
    }
    return RowWrite::taken;
}

bool stopStationRow(LineConnection& line, const StationRow& row) {
    return line
        .run(stopSql,
             {row.name, row.host, std::to_string(row.processId), row.state, std::string(stationsChannel)})
        .ok();
}

std::optional<std::int64_t> latestCommandId(LineConnection& line) {
    const SqlRows latest = line.run("SELECT coalesce(max(id), 0) FROM station_commands");
    if (!latest.ok() || latest.count() != 1) {
        return std::nullopt;
    }
    return std::stoll(latest.text(0, 0));
}

std::optional<std::vector<StationCommand>> commandsAfter(LineConnection& line, const std::string& station,
                                                         std::int64_t id) {
    const SqlRows rows =
        line.run("SELECT id, command FROM station_commands WHERE station = $1 AND id > $2 ORDER BY id",
                 {station, std::to_string(id)});
    if (!rows.ok()) {
        return std::nullopt;
    }
    std::vector<StationCommand> commands;
    for (int i = 0; i < rows.count(); ++i) {
        commands.push_back({std::stoll(rows.text(i, 0)), rows.text(i, 1)});
    }
    return commands;
}

} // namespace orvane

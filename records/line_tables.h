// The tables a line's PostgreSQL server holds beside the records, made by the owner's
// records --init with the records' own schema: the released jobs, the audit of who released,
// retired, started and stopped what, each station's row for the line's page, and the commands
// the line's page leaves for a station. Releasing and retiring are rows added, never rows
// changed, so an engineer's role needs no more than INSERT; a job's state is its newest row.
#pragma once

#include <array>
#include <string_view>

namespace orvane {

inline constexpr std::array<std::string_view, 5> lineTables{
    "CREATE TABLE jobs (id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY, name TEXT NOT NULL, "
    "version INTEGER, retired BOOLEAN NOT NULL DEFAULT false, "
    "image BYTEA, image_name TEXT, image_size BIGINT, image_sha256 TEXT, "
    "target TEXT, address INTEGER, line_speed INTEGER, upgrade_speed INTEGER, low_latency BOOLEAN, "
    "max_resends INTEGER, note TEXT, "
    "released_by TEXT NOT NULL DEFAULT current_user, operator TEXT, "
    "released_at TIMESTAMPTZ NOT NULL DEFAULT now(), "
    "UNIQUE (name, version), CHECK (retired = (version IS NULL)), CHECK (retired OR image IS NOT NULL))",
    "CREATE TABLE audit (id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY, "
    "at TIMESTAMPTZ NOT NULL DEFAULT now(), role TEXT NOT NULL DEFAULT current_user, operator TEXT, "
    "action TEXT NOT NULL, job TEXT, job_version INTEGER, station TEXT, host TEXT, note TEXT)",
    "CREATE TABLE stations (name TEXT PRIMARY KEY, host TEXT NOT NULL, process_id BIGINT NOT NULL, "
    "job TEXT, job_version INTEGER, image_sha256 TEXT, "
    "started_at TIMESTAMPTZ NOT NULL DEFAULT now(), last_seen TIMESTAMPTZ NOT NULL DEFAULT now(), "
    "stopped_at TIMESTAMPTZ, state JSONB NOT NULL DEFAULT '{}')",
    "CREATE TABLE station_commands (id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY, "
    "station TEXT NOT NULL, command TEXT NOT NULL CHECK (command IN ('pause', 'resume')), "
    "issued_at TIMESTAMPTZ NOT NULL DEFAULT now(), issued_by TEXT NOT NULL DEFAULT current_user)",
    "CREATE INDEX audit_job ON audit (job, id)"};

// What a notification on each channel names (its payload); it only wakes a reader, who reads
// the table: anyone who may connect may NOTIFY.
inline constexpr std::string_view stationsChannel = "orvane_stations";                // a station's name
inline constexpr std::string_view stationCommandsChannel = "orvane_station_commands"; // a station's name
inline constexpr std::string_view jobsChannel = "orvane_jobs";                        // a job's name

} // namespace orvane

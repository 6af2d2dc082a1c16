// The line's counters and yields, counted from the records in the line's database: each
// station's shift (its records since it started), the day (since the day's start) of each
// station and of the whole line, and the day's yields per job version. Counted the one way the
// station and `records --summary` count them (UnitYield).
#pragma once

#include "records/unit_yield.h"
#include "records/upgrade_record.h"

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>

namespace orvane {

struct LineCounts {
    unsigned succeeded = 0;
    unsigned notSucceeded = 0; // ended any other way; a running attempt is not counted yet
    UnitYield units{};
};

// A job and its version as records carry them; none and none for records made without a job.
using JobVersion = std::pair<std::optional<std::string>, std::optional<std::int64_t>>;

struct LineYields {
    std::map<std::string, LineCounts> shift; // by station
    std::map<std::string, LineCounts> day;   // by station
    LineCounts lineShift;
    LineCounts lineDay;
    std::map<JobVersion, LineCounts> jobs; // the day's
};

// records: any order. shiftStarts: each station's start (a station missing has no shift).
LineYields countLineYields(std::span<const UpgradeRecord> records,
                           const std::map<std::string, std::int64_t>& shiftStarts, std::int64_t dayStartMs);

// The day's start at or before nowMs: the last time the host's clock read HH:MM (minutes after
// midnight), in the host's time zone.
std::int64_t dayStartMs(std::int64_t nowMs, int minutesAfterMidnight);

// "HH:MM" as minutes after midnight; none for anything else.
std::optional<int> parseDayStart(const std::string& text);

} // namespace orvane

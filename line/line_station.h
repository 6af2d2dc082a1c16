// A station as the line sees it: its row in the line's database, the state its own page shows
// (the row's JSON), and what it is now, judged with the server's clock.
#pragma once

#include "output/json_line.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

struct LineStation {
    std::string name;
    std::string host;
    std::int64_t processId = 0;
    std::optional<std::string> job;
    std::optional<std::int64_t> jobVersion;
    std::optional<std::string> imageSha256;
    std::int64_t startedMs = 0; // the server's clock, as every time of the row
    std::int64_t lastSeenMs = 0;
    std::optional<std::int64_t> stoppedMs;
    JsonFields state = JsonFields::object(); // the station's /api/station object

    bool operator==(const LineStation&) const = default;
};

enum class StationStatus { running, stopped, notHeardFrom };

std::string_view statusName(StationStatus status);

// Stopped when it said so; not heard from when its last word is older than staleAfter.
StationStatus stationStatus(const LineStation& station, std::int64_t serverNowMs,
                            std::chrono::seconds staleAfter);

// What needs a person on the line: slots failed, unusable or waiting for a label, stations or
// slots paused, stations not heard from. A stopped station's slots are not counted: nobody is
// at them.
struct NeedsPerson {
    unsigned failed = 0;
    unsigned unusable = 0;
    unsigned waitingForLabel = 0;
    unsigned paused = 0;
    unsigned notHeardFrom = 0;

    unsigned total() const { return failed + unusable + waitingForLabel + paused + notHeardFrom; }
    NeedsPerson& operator+=(const NeedsPerson& other);
};

NeedsPerson needsPerson(const LineStation& station, StationStatus status);

} // namespace orvane

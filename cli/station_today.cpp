#include "cli/station_today.h"

#include "records/record_time.h"
#include "records/records_reading.h"
#include "station/records_tally.h"

#include <chrono>

namespace orvane {

std::optional<Tally> todaysTally(const RecordsChoice& choice) {
    if (choice.place == "none") {
        return std::nullopt;
    }
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    RecordsQuery query{.place = choice.place, .filter = {}, .imagePrefix = {}};
    query.filter.sinceMs = parseMoment(isoMoment(now, false).substr(0, 10));
    if (!choice.station.empty()) {
        query.filter.station = choice.station;
    }
    const ReadRecords read = readRecords(query);
    if (read.refusal) {
        return std::nullopt;
    }
    return tallyOfRecords(read.records);
}

} // namespace orvane

#include "dashboard/records_json.h"

#include "output/json_line.h"
#include "records/record_fields.h"
#include "records/record_time.h"
#include "records/records_reading.h"

namespace orvane {

std::optional<std::string> recordsJson(const std::string& place, const std::string& since,
                                       std::size_t limit) {
    RecordsQuery query;
    query.place = place;
    query.filter.limit = limit;
    if (!since.empty()) {
        query.filter.sinceMs = parseMoment(since);
        if (!query.filter.sinceMs) {
            return std::nullopt;
        }
    }
    JsonFields list = JsonFields::array();
    if (place != "none") {
        for (const UpgradeRecord& record : readRecords(query).records) {
            list.push_back(recordFields(record));
        }
    }
    return jsonLine(list);
}

} // namespace orvane

#include "cli/station_today.h"

namespace orvane {

// Where the records room is not built there are no records to count.
std::optional<Tally> todaysTally(const RecordsChoice& /*choice*/) {
    return std::nullopt;
}

} // namespace orvane

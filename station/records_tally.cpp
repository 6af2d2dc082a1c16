#include "station/records_tally.h"

#include "records/unit_yield.h"

#include <set>
#include <string>

namespace orvane {

Tally tallyOfRecords(std::span<const UpgradeRecord> records) {
    Tally tally;
    std::set<std::string> plugs;
    for (const UpgradeRecord& record : records) {
        // A plug's newest attempt is the one that says how it went; one running is not counted yet.
        if (!plugs.insert(record.plug.empty() ? record.id : record.plug).second ||
            record.ending == recordRunning) {
            continue;
        }
        (record.ending == "succeeded" ? tally.succeeded : tally.notSucceeded) += 1;
    }
    tally.units = countUnitYield(records);
    return tally;
}

} // namespace orvane

#include "station/records_tally.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

// The day's line counts cameras as the shift does, one a plug by its newest attempt, not every
// attempt: a retry that passed is one camera succeeded.
TEST(RecordsTally, CountsEachPlugByItsNewestAttempt) {
    const struct {
        const char* plug;
        const char* ending;
    } newestFirst[] = {{"p1", "succeeded"}, {"p2", "running"}, {"p1", "failed"},
                       {"p3", "cancelled"}, {"p4", "failed"},  {"p4", "succeeded"}};
    std::vector<UpgradeRecord> records;
    for (const auto& [plug, ending] : newestFirst) {
        UpgradeRecord& record = records.emplace_back();
        record.startedMs = 100 - static_cast<std::int64_t>(records.size());
        record.plug = plug;
        record.ending = ending;
    }
    const Tally tally = tallyOfRecords(records);
    EXPECT_EQ(std::pair(tally.succeeded, tally.notSucceeded), std::pair(1U, 2U));
    EXPECT_EQ(tally.units.firstPassYield(), 0.5);
    EXPECT_EQ(tally.units.finalYield(), 0.5);
}

} // namespace
} // namespace orvane

#include "records/record_tally.h"
#include "records/unit_yield.h"

#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace orvane {
namespace {

// An attempt: its label ("" for none), plug, ending and start; records are given newest first,
// as a store gives them, so the counter must put them in order itself.
struct Try {
    const char* label;
    const char* plug;
    const char* ending;
};

std::vector<UpgradeRecord> newestFirst(const std::vector<Try>& tries) {
    std::vector<UpgradeRecord> records;
    for (std::size_t i = tries.size(); i-- > 0;) {
        UpgradeRecord& r = records.emplace_back();
        r.id = "r" + std::to_string(i);
        r.startedMs = 1000 * static_cast<std::int64_t>(i);
        r.unit = *tries[i].label ? std::optional<std::string>(tries[i].label) : std::nullopt;
        r.plug = tries[i].plug;
        r.ending = tries[i].ending;
        r.imageSha256 = "sha" + std::to_string(i);
    }
    return records;
}

struct Case {
    const char* name;
    std::vector<Try> tries;
    std::size_t units;
    std::optional<double> firstPass;
    std::optional<double> final;
    std::size_t cancelled, unusable, interrupted;
};

TEST(UnitYield, CountsUnitsByLabelElsePlug) {
    const Case cases[] = {
        {"nothing yet", {}, 0, {}, {}, 0, 0, 0},
        {"only cancels and unplugs: no yield, not 0",
         {{"A", "p1", "cancelled"}, {"", "p2", "unusable"}, {"", "p3", "running"}},
         2,
         {},
         {},
         1,
         1,
         0},
        {"a retry is the same camera",
         {{"A", "p1", "failed"}, {"A", "p1", "succeeded"}, {"B", "p2", "succeeded"}},
         2,
         0.5,
         1.0,
         0,
         0,
         0},
        {"a label carries over plugs; a later failure undoes a pass",
         {{"A", "p1", "succeeded"}, {"A", "p2", "failed"}, {"B", "p3", "failed"}, {"B", "p4", "failed"}},
         2,
         0.5,
         0.0,
         0,
         0,
         0},
        {"without labels each plug is a unit",
         {{"", "p1", "failed"}, {"", "p1", "succeeded"}, {"", "p2", "succeeded"}, {"", "p3", "failed"}},
         3,
         1.0 / 3,
         2.0 / 3,
         0,
         0,
         0},
        {"cancel and unplug before the first judged ending do not decide it",
         {{"A", "p1", "cancelled"},
          {"A", "p2", "unusable"},
          {"A", "p3", "succeeded"},
          {"", "p4", "interrupted"},
          {"A", "p3", "cancelled"}},
         2,
         1.0,
         1.0,
         2,
         1,
         1},
        {"a label reading like a plug is still a label",
         {{"p1", "x", "failed"}, {"", "p1", "succeeded"}},
         2,
         0.5,
         0.5,
         0,
         0,
         0},
    };
    for (const Case& c : cases) {
        const std::vector<UpgradeRecord> records = newestFirst(c.tries);
        const UnitYield y = countUnitYield(records);
        EXPECT_EQ(y.units(), c.units) << c.name;
        EXPECT_EQ(y.firstPassYield(), c.firstPass) << c.name;
        EXPECT_EQ(y.finalYield(), c.final) << c.name;
        EXPECT_EQ(std::vector({y.cancelled(), y.unusable(), y.interrupted()}),
                  std::vector({c.cancelled, c.unusable, c.interrupted}))
            << c.name;
    }
}

// One row a unit, the newest unit first: its attempts and the image of its last success.
TEST(UnitYield, HistoriesHoldTheLastSucceededImage) {
    const std::vector<UpgradeRecord> records = newestFirst(
        {{"A", "p1", "succeeded"}, {"B", "p2", "failed"}, {"A", "p3", "succeeded"}, {"A", "p4", "failed"}});
    const std::vector<UnitHistory> units = unitHistories(records);
    ASSERT_EQ(units.size(), 2U);
    EXPECT_EQ(units[0].newest->unit, "A");
    EXPECT_EQ(units[0].attempts, 3U);
    EXPECT_EQ(units[0].newest->ending, "failed");
    ASSERT_NE(units[0].holds, nullptr);
    EXPECT_EQ(units[0].holds->imageSha256, "sha2");
    EXPECT_EQ(units[1].holds, nullptr);
}

} // namespace
} // namespace orvane

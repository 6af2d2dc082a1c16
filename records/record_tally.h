// How the attempts went, per image and per station: how many ended which way, the yield (the
// share of attempts that succeeded) and the units' first-pass and final yields. Every attempt
// that ended counts, one interrupted by a crash or a power cut too; one still running does not
// count yet. And per unit: its attempts, how the last ended and the image it holds now.
#pragma once

#include "records/unit_yield.h"
#include "records/upgrade_record.h"

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// The endings counted, in the order the summary shows them.
inline constexpr std::array<std::string_view, 6> tallyEndings{"succeeded", "failed",      "unusable",
                                                              "cancelled", "interrupted", "running"};

struct RecordTally {
    std::string key;                       // the image's SHA-256, or the station
    const UpgradeRecord* newest = nullptr; // the newest record of the group, which names it
    std::array<std::size_t, tallyEndings.size()> counts{};
    std::size_t others = 0; // endings this program does not know (a newer one's)
    UnitYield units{};

    std::size_t attempts() const;
    std::optional<double> yield() const; // empty without attempts
};

struct RecordSummary {
    std::vector<RecordTally> images;   // in the order their newest records came
    std::vector<RecordTally> stations; // likewise
};

// records: the newest first, as a store gives them; the summary points into them.
RecordSummary summarise(std::span<const UpgradeRecord> records);

struct UnitHistory {
    const UpgradeRecord* newest = nullptr; // its last attempt, which names the unit
    std::size_t attempts = 0;              // every one, a running one too
    const UpgradeRecord* holds = nullptr;  // its last succeeded attempt: the image it holds now
};

// One a unit (unitOf), the unit of the newest attempt first; records as summarise takes them.
std::vector<UnitHistory> unitHistories(std::span<const UpgradeRecord> records);

} // namespace orvane

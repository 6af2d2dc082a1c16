#include "records/record_tally.h"

#include <algorithm>
#include <map>

namespace orvane {
namespace {

void count(std::vector<RecordTally>& groups, std::map<std::string, std::size_t>& index,
           const std::string& key, const UpgradeRecord& record) {
    const auto [at, added] = index.try_emplace(key, groups.size());
    if (added) {
        groups.push_back({key, &record});
    }
    RecordTally& tally = groups[at->second];
    const auto ending = std::find(tallyEndings.begin(), tallyEndings.end(), record.ending);
    if (ending == tallyEndings.end()) {
        ++tally.others;
    } else {
        ++tally.counts[static_cast<std::size_t>(ending - tallyEndings.begin())];
    }
}

} // namespace

std::size_t RecordTally::attempts() const {
    std::size_t total = others;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        total += tallyEndings[i] == recordRunning ? 0 : counts[i];
    }
    return total;
}

std::optional<double> RecordTally::yield() const {
    const std::size_t all = attempts();
    if (all == 0) {
        return std::nullopt;
    }
    return static_cast<double>(counts[0]) / static_cast<double>(all);
}

RecordSummary summarise(std::span<const UpgradeRecord> records) {
    RecordSummary summary;
    std::map<std::string, std::size_t> images;
    std::map<std::string, std::size_t> stations;
    for (const UpgradeRecord& record : records) {
        count(summary.images, images, record.imageSha256, record);
        count(summary.stations, stations, record.station, record);
    }
    return summary;
}

} // namespace orvane

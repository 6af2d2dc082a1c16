#include "records/record_tally.h"

#include <algorithm>
#include <map>

namespace orvane {
namespace {

void count(std::vector<RecordTally>& groups, std::map<std::string, std::size_t>& index,
           const std::string& key, const UpgradeRecord& record) {
    const auto [at, added] = index.try_emplace(key, groups.size());
    if (added) {
        groups.push_back({.key = key, .newest = &record});
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
    std::vector<std::vector<const UpgradeRecord*>> ofImage;
    std::vector<std::vector<const UpgradeRecord*>> ofStation;
    for (const UpgradeRecord& record : records) {
        count(summary.images, images, record.imageSha256, record);
        count(summary.stations, stations, record.station, record);
        ofImage.resize(summary.images.size());
        ofStation.resize(summary.stations.size());
        ofImage[images[record.imageSha256]].push_back(&record);
        ofStation[stations[record.station]].push_back(&record);
    }
    for (std::size_t i = 0; i < ofImage.size(); ++i) {
        summary.images[i].units = countUnitYield(ofImage[i]);
    }
    for (std::size_t i = 0; i < ofStation.size(); ++i) {
        summary.stations[i].units = countUnitYield(ofStation[i]);
    }
    return summary;
}

std::vector<UnitHistory> unitHistories(std::span<const UpgradeRecord> records) {
    std::vector<UnitHistory> histories;
    std::map<std::string, std::size_t> index;
    for (const UpgradeRecord& record : records) {
        const auto [at, added] = index.try_emplace(unitOf(record), histories.size());
        if (added) {
            histories.push_back({.newest = &record});
        }
        UnitHistory& unit = histories[at->second];
        ++unit.attempts;
        if (unit.holds == nullptr && record.ending == "succeeded") {
            unit.holds = &record;
        }
    }
    return histories;
}

} // namespace orvane

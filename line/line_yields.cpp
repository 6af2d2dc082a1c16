#include "line/line_yields.h"

#include <ctime>
#include <vector>

namespace orvane {
namespace {

LineCounts counted(const std::vector<const UpgradeRecord*>& records) {
    LineCounts counts;
    for (const UpgradeRecord* record : records) {
        if (record->ending == recordRunning) {
            continue;
        }
        (record->ending == "succeeded" ? counts.succeeded : counts.notSucceeded) += 1;
    }
    counts.units = countUnitYield(std::span<const UpgradeRecord* const>(records));
    return counts;
}

JobVersion jobVersionOf(const UpgradeRecord& record) {
    return {record.job, record.jobVersion};
}

template <typename Key>
std::map<Key, LineCounts> countedEach(const std::map<Key, std::vector<const UpgradeRecord*>>& groups) {
    std::map<Key, LineCounts> counts;
    for (const auto& [key, records] : groups) {
        counts.emplace(key, counted(records));
    }
    return counts;
}

} // namespace

LineYields countLineYields(std::span<const UpgradeRecord> records,
                           const std::map<std::string, std::int64_t>& shiftStarts, std::int64_t dayStartMs) {
    std::map<std::string, std::vector<const UpgradeRecord*>> shift;
    std::map<std::string, std::vector<const UpgradeRecord*>> day;
    std::map<JobVersion, std::vector<const UpgradeRecord*>> jobs;
    std::vector<const UpgradeRecord*> lineShift;
    std::vector<const UpgradeRecord*> lineDay;
    for (const UpgradeRecord& record : records) {
        const auto started = shiftStarts.find(record.station);
        if (started != shiftStarts.end() && record.startedMs >= started->second) {
            shift[record.station].push_back(&record);
            lineShift.push_back(&record);
        }
        if (record.startedMs >= dayStartMs) {
            day[record.station].push_back(&record);
            jobs[jobVersionOf(record)].push_back(&record);
            lineDay.push_back(&record);
        }
    }
    return {countedEach(shift), countedEach(day), counted(lineShift), counted(lineDay), countedEach(jobs)};
}

std::int64_t dayStartMs(std::int64_t nowMs, int minutesAfterMidnight) {
    const std::time_t now = static_cast<std::time_t>(nowMs / 1000);
    std::tm local{};
    localtime_r(&now, &local);
    local.tm_hour = minutesAfterMidnight / 60;
    local.tm_min = minutesAfterMidnight % 60;
    local.tm_sec = 0;
    local.tm_isdst = -1; // whichever the zone has on that day
    std::time_t start = std::mktime(&local);
    if (start > now) {
        local.tm_mday -= 1;
        local.tm_hour = minutesAfterMidnight / 60;
        local.tm_min = minutesAfterMidnight % 60;
        local.tm_isdst = -1;
        start = std::mktime(&local);
    }
    return static_cast<std::int64_t>(start) * 1000;
}

std::optional<int> parseDayStart(const std::string& text) {
    if (text.size() != 5 || text[2] != ':') {
        return std::nullopt;
    }
    const auto digit = [&](std::size_t at) {
        return text[at] >= '0' && text[at] <= '9' ? text[at] - '0' : -100;
    };
    const int hours = digit(0) * 10 + digit(1);
    const int minutes = digit(3) * 10 + digit(4);
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59) {
        return std::nullopt;
    }
    return hours * 60 + minutes;
}

} // namespace orvane

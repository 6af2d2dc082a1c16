#include "cli/records_table.h"

#include "output/text_table.h"
#include "records/record_time.h"

#include <cstdio>
#include <vector>

namespace orvane {
namespace {

std::string secondsOf(const UpgradeRecord& record) {
    if (record.ending == recordRunning) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(record.durationMs) / 1000.0);
    return text;
}

// "block 3/10: the camera aborted", "enter: no answer", or the reason alone.
std::string whyOf(const UpgradeRecord& record) {
    if (record.step.empty() || record.step == "done") {
        return record.reason;
    }
    std::string where = record.step;
    if (record.step == "block" && record.blocks > 0) {
        where += " " + std::to_string(record.block) + "/" + std::to_string(record.blocks);
    }
    return record.reason.empty() ? where : where + ": " + record.reason;
}

} // namespace

std::string imageLabel(std::string_view imagePath, std::string_view sha256) {
    const std::size_t slash = imagePath.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? imagePath : imagePath.substr(slash + 1);
    return std::string(name) + " " + std::string(sha256.substr(0, 12));
}

void printRecordsTable(Console& console, std::span<const UpgradeRecord> records, bool utc) {
    std::vector<std::vector<std::string>> rows{
        {utc ? "STARTED (UTC)" : "STARTED", "STATION", "PORT", "IMAGE", "ENDING", "SECONDS", "STEP/REASON"}};
    for (const UpgradeRecord& record : records) {
        rows.push_back({isoMoment(record.startedMs, utc), record.station, record.port,
                        imageLabel(record.image, record.imageSha256), record.ending, secondsOf(record),
                        whyOf(record)});
    }
    printTextTable(console, rows);
}

} // namespace orvane

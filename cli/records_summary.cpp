#include "cli/records_summary.h"

#include "cli/records_table.h"
#include "output/text_table.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace orvane {
namespace {

std::string yieldText(const RecordTally& tally) {
    const auto yield = tally.yield();
    if (!yield) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%", *yield * 100.0);
    return text;
}

void printTable(Console& console, const char* heading, const std::vector<RecordTally>& groups, bool byImage) {
    std::vector<std::vector<std::string>> rows{{heading, "ATTEMPTS"}};
    for (const std::string_view ending : tallyEndings) {
        std::string title(ending);
        std::transform(title.begin(), title.end(), title.begin(),
                       [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
        rows.front().push_back(title);
    }
    rows.front().push_back("YIELD");
    for (const RecordTally& tally : groups) {
        auto& row = rows.emplace_back();
        row.push_back(byImage ? imageLabel(tally.newest->image, tally.key) : tally.key);
        row.push_back(std::to_string(tally.attempts()));
        for (const std::size_t n : tally.counts) {
            row.push_back(std::to_string(n));
        }
        row.push_back(yieldText(tally));
    }
    printTextTable(console, rows);
}

JsonFields fieldsOf(const RecordTally& tally, bool byImage) {
    JsonFields fields{{"by", byImage ? "image" : "station"}};
    if (byImage) {
        fields["image"] = tally.newest->image;
        fields["sha256"] = tally.key;
    } else {
        fields["station"] = tally.key;
    }
    fields["attempts"] = tally.attempts();
    for (std::size_t i = 0; i < tallyEndings.size(); ++i) {
        fields[std::string(tallyEndings[i])] = tally.counts[i];
    }
    const auto yield = tally.yield();
    fields["yield"] = yield ? JsonFields(*yield) : JsonFields(nullptr);
    return fields;
}

} // namespace

void printRecordsSummary(Console& console, const RecordSummary& summary) {
    if (console.json()) {
        for (const RecordTally& tally : summary.images) {
            console.event("recordSummary", fieldsOf(tally, true));
        }
        for (const RecordTally& tally : summary.stations) {
            console.event("recordSummary", fieldsOf(tally, false));
        }
        return;
    }
    printTable(console, "IMAGE", summary.images, true);
    console.line("");
    printTable(console, "STATION", summary.stations, false);
}

} // namespace orvane

#include "cli/records_summary.h"

#include "cli/records_table.h"
#include "output/text_table.h"
#include "output/yield_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace orvane {
namespace {

JsonFields shareJson(std::optional<double> share) {
    return share ? JsonFields(*share) : JsonFields(nullptr);
}

std::string perUnitText(std::optional<double> attempts) {
    if (!attempts) {
        return "\u2013";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", *attempts);
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
    for (const char* title : {"YIELD", "UNITS", "FIRST PASS", "FINAL", "PER UNIT"}) {
        rows.front().push_back(title);
    }
    for (const RecordTally& tally : groups) {
        auto& row = rows.emplace_back();
        row.push_back(byImage ? imageLabel(tally.newest->image, tally.key) : tally.key);
        row.push_back(std::to_string(tally.attempts()));
        for (const std::size_t n : tally.counts) {
            row.push_back(std::to_string(n));
        }
        row.push_back(yieldText(tally.yield()));
        row.push_back(std::to_string(tally.units.units()));
        row.push_back(yieldText(tally.units.firstPassYield()));
        row.push_back(yieldText(tally.units.finalYield()));
        row.push_back(perUnitText(tally.units.attemptsPerUnit()));
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
    fields["yield"] = shareJson(tally.yield());
    fields["units"] = tally.units.units();
    fields["firstPassYield"] = shareJson(tally.units.firstPassYield());
    fields["finalYield"] = shareJson(tally.units.finalYield());
    fields["attemptsPerUnit"] = shareJson(tally.units.attemptsPerUnit());
    return fields;
}

std::string unitName(const UpgradeRecord& record) {
    return record.unit ? *record.unit : "plug " + (record.plug.empty() ? record.id : record.plug);
}

JsonFields unitFields(const UnitHistory& unit) {
    const UpgradeRecord& last = *unit.newest;
    JsonFields fields{{"unit", last.unit ? JsonFields(*last.unit) : JsonFields(nullptr)},
                      {"plug", last.plug.empty() ? last.id : last.plug},
                      {"attempts", unit.attempts},
                      {"lastEnding", last.ending},
                      {"station", last.station},
                      {"slot", last.slot}};
    fields["sha256"] = unit.holds ? JsonFields(unit.holds->imageSha256) : JsonFields(nullptr);
    fields["image"] = unit.holds ? JsonFields(unit.holds->image) : JsonFields(nullptr);
    return fields;
}

} // namespace

void printUnitsSummary(Console& console, const std::vector<UnitHistory>& units) {
    if (console.json()) {
        for (const UnitHistory& unit : units) {
            console.event("unitSummary", unitFields(unit));
        }
        return;
    }
    std::vector<std::vector<std::string>> rows{{"UNIT", "ATTEMPTS", "LAST ENDING", "STATION", "IMAGE NOW"}};
    for (const UnitHistory& unit : units) {
        const UpgradeRecord& last = *unit.newest;
        rows.push_back({unitName(last), std::to_string(unit.attempts), last.ending, last.station,
                        unit.holds ? imageLabel(unit.holds->image, unit.holds->imageSha256) : "\u2013"});
    }
    printTextTable(console, rows);
}

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

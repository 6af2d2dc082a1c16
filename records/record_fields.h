// A record's fields as the command line gives them out: the "record" event of --json and the
// columns of --csv, the same names in the same order. The names follow the other events:
// "port" as given, "serial" for the adapter's USB serial number, "seconds" for the time taken.
#pragma once

#include "output/json_line.h"
#include "records/upgrade_record.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace orvane {

inline constexpr std::array<std::string_view, 38> recordFieldNames{
    "id",      "started",   "seconds",      "station",   "operator",  "port",      "device",    "byId",
    "driver",  "vid",       "pid",          "serial",    "image",     "imageSize", "sha256",    "target",
    "address", "lineSpeed", "upgradeSpeed", "replyMode", "ending",    "step",      "block",     "blocks",
    "reason",  "resends",   "toolVersion",  "host",      "processId", "bootId",    "imagePath", "unit",
    "slot",    "plug",      "attempt",      "sentTo",    "job",       "jobVersion"};

// A field's value: a fact the record lacks (no by-id link, no step while running) is none.
using RecordValue = std::variant<std::monostate, std::string, std::int64_t, double>;

std::array<RecordValue, recordFieldNames.size()> recordValues(const UpgradeRecord& record);

// Every field, none as null.
JsonFields recordFields(const UpgradeRecord& record);

// Every field as a CSV row with its CR LF: text exactly as stored, seconds to the millisecond,
// none empty.
std::string recordCsvRow(const UpgradeRecord& record);

} // namespace orvane

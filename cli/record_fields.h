// A record's fields as the command line gives them out: the "record" event of --json and the
// columns of --csv, the same names in the same order. The names follow the other events:
// "port" as given, "serial" for the adapter's USB serial number, "seconds" for the time taken.
#pragma once

#include "cli/json_line.h"
#include "records/upgrade_record.h"

#include <string>
#include <vector>

namespace orvane {

// Every field; a fact the record lacks is null (no by-id link, no step while running).
JsonFields recordFields(const UpgradeRecord& record);

// The names of recordFields, for a CSV header.
std::vector<std::string> recordFieldNames();

// A field's value as a CSV cell: text exactly as stored, numbers as JSON writes them, null
// empty.
std::string csvCellOf(const JsonFields& value);

} // namespace orvane

// The records as a technician reads them at a glance: one row an attempt, the newest first.
#pragma once

#include "output/console.h"
#include "records/upgrade_record.h"

#include <span>
#include <string>
#include <string_view>

namespace orvane {

// The image as the table names it: the file's name (without its folders) and the first
// twelve digits of its SHA-256.
std::string imageLabel(std::string_view imagePath, std::string_view sha256);

// Started (local time, or UTC when utc), station, port, image, ending, seconds, and the
// step and reason of an attempt that did not succeed.
void printRecordsTable(Console& console, std::span<const UpgradeRecord> records, bool utc);

} // namespace orvane

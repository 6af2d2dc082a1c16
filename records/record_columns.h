// The columns of a record, in one order for every store: the SQL of each store is made from
// this list, so a new field is added in one place. Columns only ever join at the end: a file
// of an older schema gains them in place.
#pragma once

#include "records/upgrade_record.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace orvane {

// A column's value as stores bind it: text, a number, or NULL.
using ColumnValue = std::variant<std::monostate, std::string, std::int64_t>;

inline constexpr std::array<std::string_view, 37> recordColumns{"id",
                                                                "started_ms",
                                                                "duration_ms",
                                                                "station",
                                                                "operator",
                                                                "port",
                                                                "device",
                                                                "by_id",
                                                                "driver",
                                                                "vid",
                                                                "pid",
                                                                "usb_serial",
                                                                "image_path",
                                                                "image_size",
                                                                "image_sha256",
                                                                "target",
                                                                "address",
                                                                "line_speed",
                                                                "upgrade_speed",
                                                                "reply_mode",
                                                                "ending",
                                                                "step",
                                                                "block",
                                                                "blocks",
                                                                "reason",
                                                                "resends",
                                                                "tool_version",
                                                                "host",
                                                                "process_id",
                                                                "boot_id",
                                                                "image_absolute_path",
                                                                "unit",
                                                                "slot",
                                                                "plug",
                                                                "attempt",
                                                                "job",
                                                                "job_version"};

std::array<ColumnValue, recordColumns.size()> columnValuesOf(const UpgradeRecord& record);
// Whether the column at index holds a number (else text).
bool isNumberColumn(std::size_t index);
UpgradeRecord recordOfColumns(const std::array<ColumnValue, recordColumns.size()>& values);

} // namespace orvane

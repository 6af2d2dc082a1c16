// The SQL both stores speak, made once from the column list: the upsert that keeps a record
// (a second send of the same id changes nothing but what changed) and the WHERE clause of a
// filter. Placeholders differ ("?" in SQLite, "$1" in PostgreSQL), so the caller names them.
#pragma once

#include "records/record_columns.h"
#include "records/record_store.h"

#include <functional>
#include <string>
#include <vector>

namespace orvane {

using Placeholder = std::function<std::string()>;

// "id, started_ms, ..." in the order of recordColumns.
std::string columnList();

// INSERT of every column plus the extra ones named (each with a placeholder of its own),
// updating every column but id when the id is there already.
std::string upsertSql(const std::string& table, const std::vector<std::string>& extraColumns,
                      const Placeholder& next);

// " WHERE ..." (always present) and the values for its placeholders, in order; the limit
// comes last, NULL for none.
std::string filterSql(const RecordFilter& filter, const Placeholder& next);
std::vector<ColumnValue> filterValues(const RecordFilter& filter);

// Running records of this host whose writer is gone, shown as interrupted.
void showCutShort(std::vector<UpgradeRecord>& records);
// Whether one is such a record.
bool isCutShort(const UpgradeRecord& record);

} // namespace orvane

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

// The records' schema as both stores make it: the first version's table, then each version's
// columns joined at the end, so a store of an older version is brought up in place.
inline constexpr std::size_t firstSchemaColumns = 30;
inline constexpr std::size_t secondSchemaColumns = 35;
// "name TYPE" of the columns in [from, to), numbers as numberType, id the primary key.
std::vector<std::string> columnDefinitions(std::size_t from, std::size_t to, std::string_view numberType);
// Fills the columns the second version added for the records of the first: a single job's
// slot is its port and its plug its own id.
inline constexpr std::string_view fillSecondSchemaColumns =
    "UPDATE records SET slot = port, plug = id, attempt = 1";
// The records of an older version's table (1 or 2) as a table named records of this version's
// columns (then extraColumns, ", sent_to, pending" say), for a store that is read but never
// migrated.
std::string olderSchemaRecords(int version, std::string_view extraColumns);

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

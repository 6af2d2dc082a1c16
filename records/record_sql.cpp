#include "records/record_sql.h"

#include "records/writer_identity.h"

namespace orvane {

std::string columnList() {
    std::string list;
    for (const std::string_view column : recordColumns) {
        list += (list.empty() ? "" : ", ") + std::string(column);
    }
    return list;
}

std::vector<std::string> columnDefinitions(std::size_t from, std::size_t to, std::string_view numberType) {
    std::vector<std::string> definitions;
    for (std::size_t i = from; i < to; ++i) {
        definitions.push_back(std::string(recordColumns[i]) + " " +
                              (isNumberColumn(i) ? std::string(numberType) : "TEXT") +
                              (i == 0 ? " PRIMARY KEY" : ""));
    }
    return definitions;
}

std::string olderSchemaRecords(int version, std::string_view extraColumns) {
    const std::size_t kept = version <= 1 ? firstSchemaColumns : secondSchemaColumns;
    std::string columns;
    for (std::size_t i = 0; i < kept; ++i) {
        columns += std::string(recordColumns[i]) + ", ";
    }
    if (version <= 1) {
        columns += "NULL AS image_absolute_path, NULL AS unit, port AS slot, id AS plug, 1 AS attempt, ";
    }
    return "(SELECT " + columns + "NULL AS job, NULL AS job_version" + std::string(extraColumns) +
           " FROM records) AS records";
}

std::string upsertSql(const std::string& table, const std::vector<std::string>& extraColumns,
                      const Placeholder& next) {
    std::string columns = columnList();
    std::string values;
    for (std::size_t i = 0; i < recordColumns.size() + extraColumns.size(); ++i) {
        values += (i == 0 ? "" : ", ") + next();
    }
    std::vector<std::string> updated(recordColumns.begin() + 1, recordColumns.end());
    for (const std::string& extra : extraColumns) {
        columns += ", " + extra;
        updated.push_back(extra);
    }
    std::string sql =
        "INSERT INTO " + table + " (" + columns + ") VALUES (" + values + ") ON CONFLICT (id) DO UPDATE SET ";
    for (std::size_t i = 0; i < updated.size(); ++i) {
        sql += (i == 0 ? "" : ", ") + updated[i] + " = excluded." + updated[i];
    }
    return sql;
}

std::string filterSql(const RecordFilter& filter, const Placeholder& next) {
    std::string sql = " WHERE 1 = 1";
    if (filter.sinceMs) {
        sql += " AND started_ms >= " + next();
    }
    if (filter.untilMs) {
        sql += " AND started_ms < " + next();
    }
    if (filter.port) {
        sql += " AND (port = " + next() + " OR device = " + next() + " OR by_id = " + next() + ")";
    }
    const auto equal = [&](const std::optional<std::string>& value, const char* column, const char* wrap) {
        if (value) {
            sql += std::string(" AND ") + column + " = " + wrap + "(" + next() + ")";
        }
    };
    equal(filter.usbSerial, "usb_serial", "");
    equal(filter.imageSha256, "image_sha256", "lower");
    equal(filter.ending, "ending", "");
    equal(filter.station, "station", "");
    equal(filter.unit, "unit", "");
    equal(filter.job, "job", "");
    if (filter.jobVersion) {
        sql += " AND job_version = " + next();
    }
    return sql;
}

std::vector<ColumnValue> filterValues(const RecordFilter& filter) {
    std::vector<ColumnValue> values;
    for (const auto& number : {filter.sinceMs, filter.untilMs}) {
        if (number) {
            values.emplace_back(*number);
        }
    }
    if (filter.port) {
        values.insert(values.end(), 3, *filter.port);
    }
    for (const auto& text :
         {filter.usbSerial, filter.imageSha256, filter.ending, filter.station, filter.unit, filter.job}) {
        if (text) {
            values.emplace_back(*text);
        }
    }
    if (filter.jobVersion) {
        values.emplace_back(*filter.jobVersion);
    }
    // No limit binds NULL. Built in place: gcc 12 at -O3 (Windows) and under tsan's -O2
    // misreads a temporary variant moved in as uninitialised.
    if (filter.limit) {
        values.emplace_back(static_cast<std::int64_t>(*filter.limit));
    } else {
        values.emplace_back();
    }
    return values;
}

bool isCutShort(const UpgradeRecord& record) {
    return record.ending == recordRunning && record.host == thisWriter().host &&
           !writerAlive({record.host, record.processId, record.bootId});
}

void showCutShort(std::vector<UpgradeRecord>& records) {
    for (UpgradeRecord& record : records) {
        if (isCutShort(record)) {
            record.ending = std::string(recordInterrupted);
        }
    }
}

} // namespace orvane

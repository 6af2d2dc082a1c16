#include "records/postgres_store.h"

#include "records/record_columns.h"
#include "records/record_sql.h"
#include "records/store_place.h"

#include <libpq-fe.h>

namespace orvane {
namespace {

// The schema's version is kept in a table of its own; one station migrates at a time.
constexpr std::string_view migrationLockKey = "7262637";
constexpr std::string_view connectTimeoutSeconds = "3";

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

std::string serverTrouble(pg_conn* connection) {
    return trimmed(connection != nullptr ? PQerrorMessage(connection) : "out of memory");
}

// Runs sql with text parameters (NULL where a value is empty); nullptr when it failed.
Result run(pg_conn* connection, const std::string& sql, const std::vector<ColumnValue>& values = {}) {
    std::vector<std::string> texts(values.size());
    std::vector<const char*> parameters(values.size(), nullptr);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (const auto* text = std::get_if<std::string>(&values[i])) {
            texts[i] = *text;
            parameters[i] = texts[i].c_str();
        } else if (const auto* number = std::get_if<std::int64_t>(&values[i])) {
            texts[i] = std::to_string(*number);
            parameters[i] = texts[i].c_str();
        }
    }
    Result result(PQexecParams(connection, sql.c_str(), static_cast<int>(values.size()), nullptr,
                               parameters.data(), nullptr, nullptr, 0),
                  &PQclear);
    const auto status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        return Result(nullptr, &PQclear);
    }
    return result;
}

UpgradeRecord rowOf(PGresult* result, int row) {
    std::array<ColumnValue, recordColumns.size()> values;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const int column = static_cast<int>(i);
        if (PQgetisnull(result, row, column)) {
            continue;
        }
        const std::string text(PQgetvalue(result, row, column),
                               static_cast<std::size_t>(PQgetlength(result, row, column)));
        values[i] = isNumberColumn(i) ? ColumnValue(std::int64_t{std::stoll(text)}) : ColumnValue(text);
    }
    return recordOfColumns(values);
}

std::string createRecordsSql() {
    std::string sql = "CREATE TABLE records (";
    for (std::size_t i = 0; i < recordColumns.size(); ++i) {
        sql += std::string(i == 0 ? "" : ", ") + std::string(recordColumns[i]) +
               (isNumberColumn(i) ? " BIGINT" : " TEXT") + (i == 0 ? " PRIMARY KEY" : "");
    }
    return sql + ")";
}

// Brings the server's schema to this program's version; refuses a newer one untouched.
StoreStatus migrate(pg_conn* connection, const std::string& serverUri) {
    const std::string uri = shownPlace(serverUri);
    const auto fail = [&](const std::string& why) {
        (void)run(connection, "ROLLBACK");
        return storeFailure(why);
    };
    if (!run(connection, "BEGIN") ||
        !run(connection, "SELECT pg_advisory_xact_lock(" + std::string(migrationLockKey) + ")") ||
        !run(connection, "CREATE TABLE IF NOT EXISTS orvane_schema (version integer NOT NULL)")) {
        return fail("Cannot prepare the records database " + uri + ": " + serverTrouble(connection));
    }
    const Result version = run(connection, "SELECT coalesce(max(version), 0) FROM orvane_schema");
    const int found = version ? std::stoi(PQgetvalue(version.get(), 0, 0)) : -1;
    if (found > recordSchemaVersion) {
        return fail(uri + " holds records of a newer Orvane (schema " + std::to_string(found) +
                    ", this one knows " + std::to_string(recordSchemaVersion) +
                    "); it was left as it is: use the newer program");
    }
    if (found == 0 && (!run(connection, createRecordsSql()) ||
                       !run(connection, "CREATE INDEX records_started ON records (started_ms)") ||
                       !run(connection, "INSERT INTO orvane_schema VALUES (" +
                                            std::to_string(recordSchemaVersion) + ")"))) {
        return fail("Cannot prepare the records database " + uri + ": " + serverTrouble(connection));
    }
    return run(connection, "COMMIT") ? StoreStatus{} : fail(serverTrouble(connection));
}

std::string dollar(int& count) {
    return "$" + std::to_string(++count);
}

} // namespace

bool isPostgresUri(const std::string& where) {
    return where.starts_with("postgresql://") || where.starts_with("postgres://");
}

PostgresStore::PostgresStore(std::string uri, std::unique_ptr<SqliteStore> spool)
    : uri_(std::move(uri)), spool_(std::move(spool)) {}

PostgresStore::~PostgresStore() {
    PQfinish(connection_);
}

std::unique_ptr<PostgresStore> PostgresStore::open(const std::string& uri, const std::string& spoolPath,
                                                   StoreStatus& status) {
    auto spool = SqliteStore::open(spoolPath, status);
    if (!spool) {
        return nullptr;
    }
    auto store = std::make_unique<PostgresStore>(uri, std::move(spool));
    const std::lock_guard lock(store->mutex_);
    if (StoreStatus reached = store->connect(); !reached.ok && !reached.deferred) {
        status = reached;
        return nullptr;
    }
    // What waits (an attempt of this host cut short, marked as the spool opened) goes now.
    (void)store->flush(status);
    status = {};
    return store;
}

StoreStatus PostgresStore::connect() {
    if (connection_ != nullptr && PQstatus(connection_) == CONNECTION_OK) {
        return {};
    }
    PQfinish(connection_);
    connection_ = nullptr;
    const char* keywords[] = {"dbname", "connect_timeout", nullptr};
    const char* values[] = {uri_.c_str(), connectTimeoutSeconds.data(), nullptr};
    pg_conn* made = PQconnectdbParams(keywords, values, 1);
    if (PQstatus(made) != CONNECTION_OK) {
        const std::string why = serverTrouble(made);
        PQfinish(made);
        return {true, true, "the records server does not answer (" + why + ")"};
    }
    // Kept only once the schema is known to be ours: an open connection is taken as checked,
    // so one kept after a refused check would write into a newer program's tables.
    if (StoreStatus checked = migrate(made, uri_); !checked.ok) {
        PQfinish(made);
        return checked;
    }
    connection_ = made;
    return {};
}

StoreStatus PostgresStore::send(const UpgradeRecord& record) {
    int count = 0;
    const auto values = columnValuesOf(record);
    if (!run(connection_, upsertSql("records", {}, [&] { return dollar(count); }),
             std::vector<ColumnValue>(values.begin(), values.end()))) {
        return {true, true, "the records server refused the record (" + serverTrouble(connection_) + ")"};
    }
    return spool_->markSent(record.id);
}

std::size_t PostgresStore::flush(StoreStatus& status) {
    std::vector<UpgradeRecord> waiting = spool_->pending(status);
    if (!status.ok || waiting.empty()) {
        return waiting.size();
    }
    if (status = connect(); !status.ok || status.deferred) {
        return waiting.size();
    }
    std::size_t left = waiting.size();
    for (const UpgradeRecord& record : waiting) {
        if (status = send(record); !status.ok || status.deferred) {
            return left;
        }
        --left;
    }
    return 0;
}

StoreStatus PostgresStore::put(const UpgradeRecord& record) {
    const std::lock_guard lock(mutex_);
    if (StoreStatus kept = spool_->putPending(record); !kept.ok) {
        return kept;
    }
    StoreStatus status;
    (void)flush(status);
    return status;
}

std::vector<UpgradeRecord> PostgresStore::find(const RecordFilter& filter, StoreStatus& status) {
    const std::lock_guard lock(mutex_);
    std::vector<UpgradeRecord> found;
    if (status = connect(); !status.ok || status.deferred) {
        status.ok = false;
        return found;
    }
    // The placeholders are numbered as they are made: the filter's first, the limit last.
    int count = 0;
    const std::string where = filterSql(filter, [&] { return dollar(count); });
    const std::string sql = "SELECT " + columnList() + " FROM records" + where +
                            " ORDER BY started_ms DESC, id DESC LIMIT " + dollar(count);
    const Result result = run(connection_, sql, filterValues(filter));
    if (!result) {
        status = storeFailure("Cannot read the records: " + serverTrouble(connection_));
        return found;
    }
    for (int row = 0; row < PQntuples(result.get()); ++row) {
        found.push_back(rowOf(result.get(), row));
    }
    showCutShort(found);
    return found;
}

} // namespace orvane

#include "records/postgres_store.h"

#include "records/line_tables.h"
#include "records/postgres_query.h"
#include "records/record_columns.h"
#include "records/record_sql.h"
#include "records/store_place.h"

#include <algorithm>
#include <array>

namespace orvane {
namespace {

// The schema's version is kept in a table of its own; one station migrates at a time.
constexpr std::string_view migrationLockKey = "7262637";

// Runs sql with text parameters (NULL where a value is empty); nullptr when it failed, its
// SQLSTATE in state when asked for.
PgResult run(pg_conn* connection, const std::string& sql, const std::vector<ColumnValue>& values = {},
             std::string* state = nullptr) {
    return runSql(connection, sql, values, state);
}

UpgradeRecord rowOf(PGresult* result, int row) {
    std::array<ColumnValue, recordColumns.size()> values;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const int column = static_cast<int>(i);
        if (PQgetisnull(result, row, column)) {
            continue;
        }
        const std::string text = fieldText(result, row, column);
        values[i] = isNumberColumn(i) ? ColumnValue(std::int64_t{std::stoll(text)}) : ColumnValue(text);
    }
    return recordOfColumns(values);
}

// The migrations, one per schema version: applying the first n gives version n.
std::vector<std::string> postgresMigrations() {
    std::string create = "CREATE TABLE records (";
    for (const std::string& column : columnDefinitions(0, firstSchemaColumns, "BIGINT")) {
        create += (column.starts_with("id ") ? "" : ", ") + column;
    }
    std::string second = "ALTER TABLE records";
    for (const std::string& column : columnDefinitions(firstSchemaColumns, secondSchemaColumns, "BIGINT")) {
        second += (second.ends_with("records") ? " ADD COLUMN " : ", ADD COLUMN ") + column;
    }
    std::string third = "ALTER TABLE records";
    for (const std::string& column : columnDefinitions(secondSchemaColumns, recordColumns.size(), "BIGINT")) {
        third += (third.ends_with("records") ? " ADD COLUMN " : ", ADD COLUMN ") + column;
    }
    std::vector<std::string> steps{create + ")",
                                   "CREATE INDEX records_started ON records (started_ms)",
                                   second,
                                   std::string(fillSecondSchemaColumns),
                                   "CREATE INDEX records_unit ON records (unit)",
                                   third,
                                   "CREATE INDEX records_job ON records (job, job_version)"};
    for (const std::string_view table : lineTables) {
        steps.emplace_back(table);
    }
    return steps;
}

// Statements of the migrations up to each version, counted in postgresMigrations().
const std::array<std::size_t, 4> statementsUpTo{0, 2, 5, 7 + lineTables.size()};

// The server's schema version: 0 without our tables, -1 when it cannot be read (why set).
int schemaOf(pg_conn* connection, std::string& why) {
    std::string state;
    const PgResult version =
        run(connection, "SELECT coalesce(max(version), 0) FROM orvane_schema", {}, &state);
    if (version) {
        return std::stoi(PQgetvalue(version.get(), 0, 0));
    }
    if (state == sqlUndefinedTable) {
        return 0;
    }
    why = serverTrouble(connection);
    return -1;
}

// Brings the server's schema from 'found' to this program's version, one migrating at a time.
StoreStatus migrate(pg_conn* connection, const std::string& uri, bool owner) {
    std::string state;
    const auto fail = [&]() {
        std::string why = "Cannot prepare the records database " + uri + ": " + serverTrouble(connection);
        (void)run(connection, "ROLLBACK");
        if (!owner && (state == sqlInsufficientPrivilege || state.empty())) {
            why += "; its owner must run orvane-cli records --init --records " + uri;
        }
        return storeFailure(why);
    };
    if (!run(connection, "BEGIN", {}, &state) ||
        !run(connection, "SELECT pg_advisory_xact_lock(" + std::string(migrationLockKey) + ")", {}, &state) ||
        !run(connection, "CREATE TABLE IF NOT EXISTS orvane_schema (version integer NOT NULL)", {}, &state)) {
        return fail();
    }
    // Another writer may have migrated it meanwhile: read the version inside the lock.
    std::string why;
    const int found = schemaOf(connection, why);
    const auto steps = postgresMigrations();
    for (std::size_t i =
             statementsUpTo.at(static_cast<std::size_t>(std::clamp(found, 0, recordSchemaVersion)));
         i < steps.size(); ++i) {
        if (!run(connection, steps[i], {}, &state)) {
            return fail();
        }
    }
    if (!run(connection, "DELETE FROM orvane_schema", {}, &state) ||
        !run(connection, "INSERT INTO orvane_schema VALUES (" + std::to_string(recordSchemaVersion) + ")", {},
             &state) ||
        !run(connection, "COMMIT", {}, &state)) {
        return fail();
    }
    return {};
}

std::string newerSchema(const std::string& uri, int found) {
    return uri + " holds records of a newer Orvane (schema " + std::to_string(found) + ", this one knows " +
           std::to_string(recordSchemaVersion) + "); it was left as it is: use the newer program";
}

// "host/database", ":port" after the host when it is not the usual one.
std::string serverName(pg_conn* connection) {
    const std::string port = PQport(connection) != nullptr ? PQport(connection) : "";
    return std::string(PQhost(connection)) + (port.empty() || port == "5432" ? "" : ":" + port) + "/" +
           PQdb(connection);
}

std::string dollar(int& count) {
    return "$" + std::to_string(++count);
}

} // namespace

bool isPostgresUri(const std::string& where) {
    return where.starts_with("postgresql://") || where.starts_with("postgres://");
}

PostgresStore::PostgresStore(std::string uri, std::unique_ptr<SqliteStore> spool, ServerUse use)
    : uri_(std::move(uri)), use_(use), spool_(std::move(spool)) {}

PostgresStore::~PostgresStore() {
    PQfinish(connection_);
}

std::unique_ptr<PostgresStore> PostgresStore::open(const std::string& uri, const std::string& spoolPath,
                                                   StoreStatus& status) {
    auto spool = SqliteStore::open(spoolPath, status);
    if (!spool) {
        return nullptr;
    }
    auto store = std::make_unique<PostgresStore>(uri, std::move(spool), ServerUse::write);
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

std::unique_ptr<PostgresStore> PostgresStore::openForReading(const std::string& uri, StoreStatus& status) {
    auto store = std::make_unique<PostgresStore>(uri, nullptr, ServerUse::read);
    const std::lock_guard lock(store->mutex_);
    if (status = store->connect(); !status.ok || status.deferred) {
        status.ok = false;
        return nullptr;
    }
    return store;
}

StoreStatus PostgresStore::initialise(const std::string& uri) {
    PostgresStore store(uri, nullptr, ServerUse::init);
    const std::lock_guard lock(store.mutex_);
    StoreStatus status = store.connect();
    status.ok = status.ok && !status.deferred;
    return status;
}

StoreStatus PostgresStore::connect() {
    if (connection_ != nullptr && PQstatus(connection_) == CONNECTION_OK) {
        return {};
    }
    PQfinish(connection_);
    connection_ = nullptr;
    std::string why;
    pg_conn* made = connectToServer(uri_, why);
    if (made == nullptr) {
        return {true, true, "the records server does not answer (" + why + ")"};
    }
    // Kept only once the schema is known to be ours: an open connection is taken as checked,
    // so one kept after a refused check would write into a newer program's tables.
    if (StoreStatus checked = checkSchema(made); !checked.ok) {
        PQfinish(made);
        return checked;
    }
    sentTo_ = serverName(made);
    connection_ = made;
    return {};
}

StoreStatus PostgresStore::checkSchema(pg_conn* connection) {
    const std::string uri = shownPlace(uri_);
    std::string why;
    version_ = schemaOf(connection, why);
    if (version_ < 0) {
        return storeFailure("Cannot read the records database " + uri + ": " + why);
    }
    if (version_ > recordSchemaVersion) {
        return storeFailure(newerSchema(uri, version_));
    }
    if (version_ == recordSchemaVersion) {
        return {};
    }
    if (use_ == ServerUse::read) {
        // Read as it would read migrated; nothing is made by a reader.
        return version_ == 0 ? storeFailure(uri + " holds no records yet") : StoreStatus{};
    }
    StoreStatus migrated = migrate(connection, uri, use_ == ServerUse::init);
    if (migrated.ok) {
        version_ = recordSchemaVersion;
    }
    return migrated;
}

StoreStatus PostgresStore::send(const UpgradeRecord& record) {
    int count = 0;
    const auto values = columnValuesOf(record);
    if (!run(connection_, upsertSql("records", {}, [&] { return dollar(count); }),
             std::vector<ColumnValue>(values.begin(), values.end()))) {
        return {true, true, "the records server refused the record (" + serverTrouble(connection_) + ")"};
    }
    return spool_->markSent(record.id, sentTo_);
}

std::size_t PostgresStore::flush(StoreStatus& status) {
    if (!spool_) {
        return 0;
    }
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

StoreStatus PostgresStore::keep(const UpgradeRecord& record, bool progress) {
    if (!spool_) {
        return storeFailure("Cannot keep the record: the records server was opened only to read it");
    }
    const std::lock_guard lock(mutex_);
    if (StoreStatus kept = progress ? spool_->putPendingProgress(record) : spool_->putPending(record);
        !kept.ok) {
        return kept;
    }
    StoreStatus status;
    (void)flush(status);
    return status;
}

StoreStatus PostgresStore::put(const UpgradeRecord& record) {
    return keep(record, false);
}

StoreStatus PostgresStore::putProgress(const UpgradeRecord& record) {
    return keep(record, true);
}

StoreStatus PostgresStore::sendWaiting() {
    const std::lock_guard lock(mutex_);
    StoreStatus status;
    if (flush(status) > 0 && status.ok) {
        status.deferred = true;
    }
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
    const std::string source = version_ < recordSchemaVersion ? olderSchemaRecords(version_, "") : "records";
    const std::string sql = "SELECT " + columnList() + " FROM " + source + where +
                            " ORDER BY started_ms DESC, id DESC LIMIT " + dollar(count);
    const PgResult result = run(connection_, sql, filterValues(filter));
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

#include "records/sqlite_store.h"

#include "records/record_columns.h"
#include "records/record_sql.h"

#include <filesystem>
#include <sqlite3.h>

namespace orvane {
namespace {

using Statement = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;
using Database = std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)>;

// A busy file (another station's process writing) is waited for, not failed.
constexpr int busyTimeoutMs = 15000;

StoreStatus failure(sqlite3* database, std::string_view doing) {
    const int code = sqlite3_extended_errcode(database) & 0xFF;
    std::string why = code == SQLITE_FULL       ? "the disk is full"
                      : code == SQLITE_READONLY ? "the file or its folder is read-only"
                                                : sqlite3_errmsg(database);
    return storeFailure(std::string(doing) + ": " + why);
}

Statement prepare(sqlite3* database, const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    (void)sqlite3_prepare_v2(database, sql.c_str(), static_cast<int>(sql.size()), &statement, nullptr);
    return Statement(statement, &sqlite3_finalize);
}

std::string textColumn(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return {text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column))};
}

void bindValue(sqlite3_stmt* statement, int index, const ColumnValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) {
        sqlite3_bind_text(statement, index, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
    } else if (const auto* number = std::get_if<std::int64_t>(&value)) {
        sqlite3_bind_int64(statement, index, *number);
    } else {
        sqlite3_bind_null(statement, index);
    }
}

UpgradeRecord readRow(sqlite3_stmt* statement) {
    std::array<ColumnValue, recordColumns.size()> values;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const int column = static_cast<int>(i);
        switch (sqlite3_column_type(statement, column)) {
        case SQLITE_NULL:
            break;
        case SQLITE_INTEGER:
            values[i] = static_cast<std::int64_t>(sqlite3_column_int64(statement, column));
            break;
        default:
            values[i] = textColumn(statement, column);
        }
    }
    UpgradeRecord record = recordOfColumns(values);
    // The column only a desk's file has, after the shared ones.
    const int sentTo = static_cast<int>(values.size());
    if (sqlite3_column_type(statement, sentTo) != SQLITE_NULL) {
        record.sentTo = textColumn(statement, sentTo);
    }
    return record;
}

// The migrations, one per schema version: applying the first n gives version n.
std::vector<std::string> sqliteMigrations() {
    std::string create = "CREATE TABLE records (";
    for (const std::string& column : columnDefinitions(0, firstSchemaColumns, "INTEGER")) {
        create += (column.starts_with("id ") ? "" : ", ") + column;
    }
    create += ", pending INTEGER NOT NULL DEFAULT 0);"
              "CREATE INDEX records_started ON records (started_ms);"
              "CREATE INDEX records_pending ON records (pending) WHERE pending <> 0;";
    std::string second;
    for (const std::string& column : columnDefinitions(firstSchemaColumns, secondSchemaColumns, "INTEGER")) {
        second += "ALTER TABLE records ADD COLUMN " + column + ";";
    }
    second += "ALTER TABLE records ADD COLUMN sent_to TEXT;" + std::string(fillSecondSchemaColumns) +
              ";CREATE INDEX records_unit ON records (unit) WHERE unit IS NOT NULL;";
    std::string third;
    for (const std::string& column :
         columnDefinitions(secondSchemaColumns, recordColumns.size(), "INTEGER")) {
        third += "ALTER TABLE records ADD COLUMN " + column + ";";
    }
    return {create, second,
            third + "CREATE INDEX records_job ON records (job, job_version) WHERE job IS NOT NULL;"};
}

// What the records are read from: the table itself, or for a file of the first schema opened
// only to read (so never migrated) the same columns as that table would have after migrating.
std::string recordsSource(int version) {
    if (version >= recordSchemaVersion) {
        return "records";
    }
    return olderSchemaRecords(version, version <= 1 ? ", NULL AS sent_to, pending" : ", sent_to, pending");
}

int schemaVersion(sqlite3* database) {
    const Statement statement = prepare(database, "PRAGMA user_version");
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW) {
        return -1;
    }
    return sqlite3_column_int(statement.get(), 0);
}

bool execute(sqlite3* database, const std::string& sql) {
    return sqlite3_exec(database, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

// A version-0 file with tables of its own is somebody else's database.
bool holdsOtherTables(sqlite3* database) {
    const Statement statement = prepare(database, "SELECT count(*) FROM sqlite_master");
    return !statement || sqlite3_step(statement.get()) != SQLITE_ROW ||
           sqlite3_column_int(statement.get(), 0) > 0;
}

StoreStatus checkSchema(sqlite3* database, const std::string& path) {
    const int version = schemaVersion(database);
    const int code = sqlite3_errcode(database);
    if (version < 0 && code != SQLITE_NOTADB && code != SQLITE_CORRUPT) {
        return failure(database, "Cannot open the records file " + path); // a database it could not read
    }
    if (version < 0) {
        return storeFailure(path + " is not a records database (" + sqlite3_errmsg(database) +
                            "); it was left as it is");
    }
    if (version > recordSchemaVersion) {
        return storeFailure(path + " holds records of a newer Orvane (schema " + std::to_string(version) +
                            ", this one knows " + std::to_string(recordSchemaVersion) +
                            "); it was left as it is: use the newer program");
    }
    if (version == 0 && holdsOtherTables(database)) {
        return storeFailure(path + " is a database of another program; it was left as it is");
    }
    return {};
}

StoreStatus migrate(sqlite3* database) {
    if (!execute(database, "BEGIN IMMEDIATE")) {
        return failure(database, "Cannot prepare the records file");
    }
    const auto steps = sqliteMigrations();
    // Another process may have migrated it meanwhile: read the version inside the lock.
    for (int version = schemaVersion(database); version >= 0 && version < recordSchemaVersion; ++version) {
        if (!execute(database, steps[static_cast<std::size_t>(version)]) ||
            !execute(database, "PRAGMA user_version = " + std::to_string(version + 1))) {
            const StoreStatus status = failure(database, "Cannot prepare the records file");
            (void)execute(database, "ROLLBACK");
            return status;
        }
    }
    return execute(database, "COMMIT") ? StoreStatus{} : failure(database, "Cannot prepare the records file");
}

} // namespace

SqliteStore::SqliteStore(sqlite3* database, int version) : database_(database), version_(version) {}

SqliteStore::~SqliteStore() {
    sqlite3_close_v2(database_);
}

std::unique_ptr<SqliteStore> SqliteStore::open(const std::string& path, StoreStatus& status) {
    std::error_code error;
    // The path is UTF-8, as SQLite takes it; a plain string would be read in the code page on
    // Windows, and a folder named in Chinese made under another name.
    const std::filesystem::path file(std::u8string(path.begin(), path.end()));
    if (const auto folder = file.parent_path(); !folder.empty()) {
        std::filesystem::create_directories(folder, error);
    }
    sqlite3* raw = nullptr;
    const int opened =
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Database database(raw, &sqlite3_close_v2);
    if (opened != SQLITE_OK) {
        status = failure(raw, "Cannot open the records file " + path);
        return nullptr;
    }
    sqlite3_busy_timeout(raw, busyTimeoutMs);
    if (status = checkSchema(raw, path); !status.ok) {
        return nullptr;
    }
    if (!execute(raw, "PRAGMA journal_mode = WAL") || !execute(raw, "PRAGMA synchronous = FULL")) {
        status = failure(raw, "Cannot open the records file " + path);
        return nullptr;
    }
    if (status = migrate(raw); !status.ok) {
        return nullptr;
    }
    auto store = std::make_unique<SqliteStore>(database.release(), recordSchemaVersion);
    store->markInterrupted();
    return store;
}

namespace {

// The file as an immutable URI: how SQLite reads a write-ahead-log file on a read-only medium
// where it can make no shared-memory file beside it.
std::string immutableUri(const std::string& path) {
    std::string uri = "file:";
    for (const char c : path) {
        uri += c == '%' ? "%25" : c == '?' ? "%3f" : c == '#' ? "%23" : std::string(1, c);
    }
    return uri + "?immutable=1";
}

Database openReadOnly(const std::string& path, int& opened) {
    sqlite3* raw = nullptr;
    opened = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    if (opened == SQLITE_OK && schemaVersion(raw) < 0 && sqlite3_errcode(raw) == SQLITE_CANTOPEN) {
        sqlite3_close_v2(raw);
        raw = nullptr;
        opened = sqlite3_open_v2(immutableUri(path).c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                                 nullptr);
    }
    return Database(raw, &sqlite3_close_v2);
}

} // namespace

std::unique_ptr<SqliteStore> SqliteStore::openForReading(const std::string& path, StoreStatus& status) {
    int opened = SQLITE_OK;
    Database database = openReadOnly(path, opened);
    sqlite3* raw = database.get();
    if (opened != SQLITE_OK) {
        status = failure(raw, "Cannot open the records file " + path);
        return nullptr;
    }
    sqlite3_busy_timeout(raw, busyTimeoutMs);
    if (status = checkSchema(raw, path); !status.ok) {
        return nullptr;
    }
    const int version = schemaVersion(raw);
    if (version == 0) {
        status = storeFailure(path + " holds no records yet");
        return nullptr;
    }
    return std::make_unique<SqliteStore>(database.release(), version);
}

StoreStatus SqliteStore::write(const UpgradeRecord& record, bool pending) {
    if (version_ < recordSchemaVersion) {
        return storeFailure("Cannot keep the record: the file was opened only to read it");
    }
    const Statement statement = prepare(database_, upsertSql("records", {"pending"}, [] { return "?"; }));
    if (!statement) {
        return failure(database_, "Cannot keep the record");
    }
    const auto values = columnValuesOf(record);
    for (std::size_t i = 0; i < values.size(); ++i) {
        bindValue(statement.get(), static_cast<int>(i + 1), values[i]);
    }
    bindValue(statement.get(), static_cast<int>(values.size() + 1), std::int64_t{pending ? 1 : 0});
    return sqlite3_step(statement.get()) == SQLITE_DONE ? StoreStatus{}
                                                        : failure(database_, "Cannot keep the record");
}

StoreStatus SqliteStore::put(const UpgradeRecord& record) {
    return write(record, false);
}

StoreStatus SqliteStore::putPending(const UpgradeRecord& record) {
    return write(record, true);
}

StoreStatus SqliteStore::writeUnsynced(const UpgradeRecord& record, bool pending) {
    // The write-ahead log is synced at the next full write (a start or a completion), which
    // keeps this one too; until then a power cut may take it, and only it.
    if (!execute(database_, "PRAGMA synchronous = NORMAL")) {
        return failure(database_, "Cannot keep the record");
    }
    const StoreStatus status = write(record, pending);
    (void)execute(database_, "PRAGMA synchronous = FULL");
    return status;
}

StoreStatus SqliteStore::putProgress(const UpgradeRecord& record) {
    return writeUnsynced(record, false);
}

StoreStatus SqliteStore::putPendingProgress(const UpgradeRecord& record) {
    return writeUnsynced(record, true);
}

std::vector<UpgradeRecord> SqliteStore::query(const RecordFilter& filter, StoreStatus& status) {
    const auto question = [] { return std::string("?"); };
    const std::string sent = filter.leaveOutSent ? " AND sent_to IS NULL" : "";
    const Statement statement =
        prepare(database_, "SELECT " + columnList() + ", sent_to FROM " + recordsSource(version_) +
                               filterSql(filter, question) + sent +
                               " ORDER BY started_ms DESC, id DESC LIMIT coalesce(?, -1)");
    std::vector<UpgradeRecord> found;
    if (!statement) {
        status = failure(database_, "Cannot read the records");
        return found;
    }
    const auto values = filterValues(filter);
    for (std::size_t i = 0; i < values.size(); ++i) {
        bindValue(statement.get(), static_cast<int>(i + 1), values[i]);
    }
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(statement.get())) == SQLITE_ROW) {
        found.push_back(readRow(statement.get()));
    }
    status = step == SQLITE_DONE ? StoreStatus{} : failure(database_, "Cannot read the records");
    return found;
}

std::vector<UpgradeRecord> SqliteStore::find(const RecordFilter& filter, StoreStatus& status) {
    std::vector<UpgradeRecord> found = query(filter, status);
    showCutShort(found);
    return found;
}

std::vector<UpgradeRecord> SqliteStore::pending(StoreStatus& status) {
    const Statement statement =
        prepare(database_, "SELECT " + columnList() + ", sent_to FROM " + recordsSource(version_) +
                               " WHERE pending <> 0 ORDER BY started_ms");
    std::vector<UpgradeRecord> found;
    int step = statement ? SQLITE_ROW : SQLITE_ERROR;
    while (statement && (step = sqlite3_step(statement.get())) == SQLITE_ROW) {
        found.push_back(readRow(statement.get()));
    }
    // A step that failed (busy, corrupt, an I/O error) would otherwise read as nothing waiting.
    status = step == SQLITE_DONE ? StoreStatus{} : failure(database_, "Cannot read the records");
    return found;
}

StoreStatus SqliteStore::markSent(const std::string& id, const std::string& sentTo) {
    const Statement statement =
        prepare(database_, "UPDATE records SET pending = 0, sent_to = ? WHERE id = ?");
    if (!statement) {
        return failure(database_, "Cannot keep the record");
    }
    bindValue(statement.get(), 1, sentTo);
    bindValue(statement.get(), 2, id);
    return sqlite3_step(statement.get()) == SQLITE_DONE ? StoreStatus{}
                                                        : failure(database_, "Cannot keep the record");
}

void SqliteStore::markInterrupted() {
    // A later writer on this host leaves the evidence as it should read. Marked to be sent
    // again: where this file is a line's spool, the server holds the attempt as running too.
    StoreStatus status;
    RecordFilter running;
    running.ending = std::string(recordRunning);
    const Statement statement =
        prepare(database_,
                "UPDATE records SET ending = 'interrupted', pending = 1 WHERE id = ? AND ending = 'running'");
    for (const UpgradeRecord& record : query(running, status)) {
        if (statement && isCutShort(record)) {
            bindValue(statement.get(), 1, record.id);
            (void)sqlite3_step(statement.get());
            sqlite3_reset(statement.get());
        }
    }
}

} // namespace orvane

#include "support/first_schema.h"

#include <sqlite3.h>

namespace orvane::test {

bool runSql(const std::string& path, const std::string& sql) {
    sqlite3* database = nullptr;
    const bool opened = sqlite3_open(path.c_str(), &database) == SQLITE_OK;
    const bool ran = opened && sqlite3_exec(database, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(database);
    return ran;
}

int userVersion(const std::string& path) {
    sqlite3* database = nullptr;
    sqlite3_stmt* statement = nullptr;
    int version = -1;
    if (sqlite3_open(path.c_str(), &database) == SQLITE_OK &&
        sqlite3_prepare_v2(database, "PRAGMA user_version", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        version = sqlite3_column_int(statement, 0);
    }
    sqlite3_finalize(statement);
    sqlite3_close(database);
    return version;
}

bool writeFirstSchemaFile(const std::string& path, const std::string& rows) {
    return runSql(
        path,
        "PRAGMA journal_mode = WAL;"
        "CREATE TABLE records (id TEXT PRIMARY KEY, started_ms INTEGER, duration_ms INTEGER, station TEXT, "
        "operator TEXT, port TEXT, device TEXT, by_id TEXT, driver TEXT, vid TEXT, pid TEXT, usb_serial "
        "TEXT, "
        "image_path TEXT, image_size INTEGER, image_sha256 TEXT, target TEXT, address INTEGER, "
        "line_speed INTEGER, upgrade_speed INTEGER, reply_mode TEXT, ending TEXT, step TEXT, block INTEGER, "
        "blocks INTEGER, reason TEXT, resends INTEGER, tool_version TEXT, host TEXT, process_id INTEGER, "
        "boot_id TEXT, pending INTEGER NOT NULL DEFAULT 0);"
        "CREATE INDEX records_started ON records (started_ms);"
        "CREATE INDEX records_pending ON records (pending) WHERE pending <> 0;"
        "INSERT INTO records (id, started_ms, port, image_path, image_sha256, ending, step, block, blocks) "
        "VALUES " +
            rows +
            ";"
            "PRAGMA user_version = 1;");
}

} // namespace orvane::test

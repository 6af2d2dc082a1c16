#pragma once
// A records file as the first release of the records (schema 1) left it, written with
// SQLite's own calls as another program would, for the tests of migrating and reading it.
#include <string>

namespace orvane::test {

// Runs SQL on a file as the sqlite3 shell would; false when it cannot be opened or the SQL fails.
bool runSql(const std::string& path, const std::string& sql);

// The file's PRAGMA user_version, or -1 when it cannot be read.
int userVersion(const std::string& path);

// Makes `path` a schema-1 records file; each of `rows` is a parenthesised VALUES tuple of
// (id, started_ms, port, image_path, image_sha256, ending, step, block, blocks).
bool writeFirstSchemaFile(const std::string& path, const std::string& rows);

} // namespace orvane::test

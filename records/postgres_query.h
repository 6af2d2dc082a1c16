// What every user of a line's PostgreSQL server here shares: a connection made the one way (the
// URI as given, a short time limit, the server's notices kept out of this program's output)
// and statements run with their parameters bound, never spliced into the SQL.
#pragma once

#include "records/record_columns.h"

#include <chrono>
#include <cstdint>
#include <libpq-fe.h>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace orvane {

using PgResult = std::unique_ptr<PGresult, decltype(&PQclear)>;

// A parameter's value: NULL, text, a number, or bytes sent as they are (a BYTEA).
using PgValue = std::variant<std::monostate, std::string, std::int64_t, std::span<const std::uint8_t>>;

inline constexpr std::string_view sqlUndefinedTable = "42P01";
inline constexpr std::string_view sqlInsufficientPrivilege = "42501";
inline constexpr std::string_view sqlUniqueViolation = "23505";

// The connection's last error in a line; "out of memory" without a connection.
std::string serverTrouble(pg_conn* connection);

// Connects to uri; nullptr when the server does not answer, why said in why.
pg_conn* connectToServer(const std::string& uri, std::string& why);

// Runs sql with its parameters; nullptr when it failed, its SQLSTATE in state when asked for.
PgResult runSql(pg_conn* connection, const std::string& sql, std::span<const PgValue> values = {},
                std::string* state = nullptr);
// The same with the values of record columns.
PgResult runSql(pg_conn* connection, const std::string& sql, const std::vector<ColumnValue>& values,
                std::string* state = nullptr);

// Waits up to timeout for notifications on a connection that LISTENs: their payloads (none
// when the time ran out), nullopt once the connection is lost.
std::optional<std::vector<std::string>> awaitNotices(pg_conn* connection, std::chrono::milliseconds timeout);

// A field of a result: its text, empty when NULL.
std::string fieldText(PGresult* result, int row, int column);

} // namespace orvane

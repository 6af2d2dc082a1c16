#include "records/postgres_query.h"

#include <poll.h>

namespace orvane {
namespace {

constexpr std::string_view connectTimeoutSeconds = "3";

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

// The server's notices ("relation ... already exists, skipping") are for its log, not for
// whoever reads this program's output.
void dropNotice(void* /*unused*/, const char* /*message*/) {}

// Takes what libpq has read; false when the connection is gone.
bool takeNotices(pg_conn* connection, std::vector<std::string>& into) {
    if (PQconsumeInput(connection) == 0 || PQstatus(connection) != CONNECTION_OK) {
        return false;
    }
    while (PGnotify* raw = PQnotifies(connection)) {
        const std::unique_ptr<PGnotify, decltype(&PQfreemem)> held(raw, &PQfreemem);
        into.emplace_back(held->extra != nullptr ? held->extra : "");
    }
    return true;
}

} // namespace

std::optional<std::vector<std::string>> awaitNotices(pg_conn* connection, std::chrono::milliseconds timeout) {
    std::vector<std::string> payloads;
    if (connection == nullptr || !takeNotices(connection, payloads)) {
        return std::nullopt;
    }
    if (!payloads.empty()) {
        return payloads;
    }
    pollfd socket{PQsocket(connection), POLLIN, 0};
    if (socket.fd < 0) {
        return std::nullopt;
    }
    if (::poll(&socket, 1, static_cast<int>(timeout.count())) > 0 && !takeNotices(connection, payloads)) {
        return std::nullopt;
    }
    return payloads;
}

std::string serverTrouble(pg_conn* connection) {
    return trimmed(connection != nullptr ? PQerrorMessage(connection) : "out of memory");
}

pg_conn* connectToServer(const std::string& uri, std::string& why) {
    const char* keywords[] = {"dbname", "connect_timeout", nullptr};
    const char* values[] = {uri.c_str(), connectTimeoutSeconds.data(), nullptr};
    pg_conn* made = PQconnectdbParams(keywords, values, 1);
    if (PQstatus(made) != CONNECTION_OK) {
        why = serverTrouble(made);
        PQfinish(made);
        return nullptr;
    }
    PQsetNoticeProcessor(made, dropNotice, nullptr);
    return made;
}

PgResult runSql(pg_conn* connection, const std::string& sql, std::span<const PgValue> values,
                std::string* state) {
    std::vector<std::string> texts(values.size());
    std::vector<const char*> parameters(values.size(), nullptr);
    std::vector<int> lengths(values.size(), 0);
    std::vector<int> binary(values.size(), 0);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (const auto* text = std::get_if<std::string>(&values[i])) {
            texts[i] = *text;
            parameters[i] = texts[i].c_str();
        } else if (const auto* number = std::get_if<std::int64_t>(&values[i])) {
            texts[i] = std::to_string(*number);
            parameters[i] = texts[i].c_str();
        } else if (const auto* bytes = std::get_if<std::span<const std::uint8_t>>(&values[i])) {
            // Sent as they are: no escaping, no doubling in size. An empty image still is bytes.
            static constexpr char none = 0;
            parameters[i] = bytes->empty() ? &none : reinterpret_cast<const char*>(bytes->data());
            lengths[i] = static_cast<int>(bytes->size());
            binary[i] = 1;
        }
    }
    PgResult result(PQexecParams(connection, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                 parameters.data(), lengths.data(), binary.data(), 0),
                    &PQclear);
    const auto status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        if (const char* code = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE); state != nullptr) {
            *state = code != nullptr ? code : "";
        }
        return PgResult(nullptr, &PQclear);
    }
    return result;
}

PgResult runSql(pg_conn* connection, const std::string& sql, const std::vector<ColumnValue>& values,
                std::string* state) {
    std::vector<PgValue> bound;
    bound.reserve(values.size());
    for (const ColumnValue& value : values) {
        std::visit([&](const auto& held) { bound.emplace_back(held); }, value);
    }
    return runSql(connection, sql, bound, state);
}

std::string fieldText(PGresult* result, int row, int column) {
    return std::string(PQgetvalue(result, row, column),
                       static_cast<std::size_t>(PQgetlength(result, row, column)));
}

} // namespace orvane

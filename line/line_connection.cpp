#include "line/line_connection.h"

#include "line/notification_wait.h"

#include <libpq-fe.h>

namespace orvane {
namespace {

void dropNotice(void* /*unused*/, const char* /*message*/) {}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

} // namespace

SqlRows::SqlRows(pg_result* result) : result_(result, &PQclear) {
    const auto status = PQresultStatus(result);
    ok_ = result != nullptr && (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK);
}

int SqlRows::count() const {
    return ok_ ? PQntuples(result_.get()) : 0;
}

std::string SqlRows::text(int row, int column) const {
    return std::string(PQgetvalue(result_.get(), row, column),
                       static_cast<std::size_t>(PQgetlength(result_.get(), row, column)));
}

bool SqlRows::null(int row, int column) const {
    return PQgetisnull(result_.get(), row, column) != 0;
}

std::string SqlRows::error() const {
    return result_ ? trimmed(PQresultErrorMessage(result_.get())) : std::string();
}

LineConnection::LineConnection(std::string uri) : uri_(std::move(uri)) {}

LineConnection::~LineConnection() {
    PQfinish(connection_);
}

bool LineConnection::connected() const {
    return connection_ != nullptr && PQstatus(connection_) == CONNECTION_OK;
}

bool LineConnection::connect(std::string& why) {
    if (connected()) {
        return true;
    }
    PQfinish(connection_);
    connection_ = nullptr;
    // Ours first: the URI's own settings, expanded from dbname after them, win.
    const char* keywords[] = {"connect_timeout",
                              "keepalives_idle",
                              "keepalives_interval",
                              "keepalives_count",
                              "tcp_user_timeout",
                              "dbname",
                              nullptr};
    const char* values[] = {"3", "5", "2", "2", "5000", uri_.c_str(), nullptr};
    pg_conn* made = PQconnectdbParams(keywords, values, 1);
    if (PQstatus(made) != CONNECTION_OK) {
        why = trimmed(made != nullptr ? PQerrorMessage(made) : "out of memory");
        PQfinish(made);
        return false;
    }
    PQsetNoticeProcessor(made, dropNotice, nullptr);
    connection_ = made;
    return true;
}

void LineConnection::dropIfBroken() {
    if (connection_ != nullptr && PQstatus(connection_) != CONNECTION_OK) {
        PQfinish(connection_);
        connection_ = nullptr;
    }
}

SqlRows LineConnection::run(const std::string& sql, const std::vector<SqlValue>& values) {
    if (!connected()) {
        return SqlRows(nullptr);
    }
    std::vector<const char*> parameters;
    for (const SqlValue& value : values) {
        parameters.push_back(value ? value->c_str() : nullptr);
    }
    SqlRows rows(PQexecParams(connection_, sql.c_str(), static_cast<int>(parameters.size()), nullptr,
                              parameters.data(), nullptr, nullptr, 0));
    if (!rows.ok()) {
        dropIfBroken();
    }
    return rows;
}

std::optional<std::vector<std::string>> LineConnection::notifications(std::chrono::milliseconds waitFor) {
    const NotificationWait wait = waitForNotifications(connection_, waitFor);
    if (wait.broken) {
        PQfinish(connection_); // a read that failed leaves nothing worth keeping
        connection_ = nullptr;
        return std::nullopt;
    }
    std::vector<std::string> payloads;
    for (const Notification& notification : wait.notifications) {
        payloads.push_back(notification.payload);
    }
    return payloads;
}

} // namespace orvane

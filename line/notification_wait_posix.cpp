#include "line/notification_wait.h"

#include <libpq-fe.h>
#include <memory>
#include <poll.h>

namespace orvane {
namespace {

// Takes what libpq has read; false when the connection is gone.
bool takeNotifications(pg_conn* connection, std::vector<Notification>& into) {
    if (PQconsumeInput(connection) == 0 || PQstatus(connection) != CONNECTION_OK) {
        return false;
    }
    while (PGnotify* raw = PQnotifies(connection)) {
        const std::unique_ptr<PGnotify, decltype(&PQfreemem)> held(raw, &PQfreemem);
        into.push_back({held->relname, held->extra != nullptr ? held->extra : ""});
    }
    return true;
}

} // namespace

NotificationWait waitForNotifications(pg_conn* connection, std::chrono::milliseconds timeout) {
    NotificationWait wait;
    if (connection == nullptr || !takeNotifications(connection, wait.notifications)) {
        wait.broken = true;
        return wait;
    }
    if (!wait.notifications.empty()) {
        return wait;
    }
    pollfd socket{PQsocket(connection), POLLIN, 0};
    if (socket.fd < 0) {
        wait.broken = true;
        return wait;
    }
    const int ready = ::poll(&socket, 1, static_cast<int>(timeout.count()));
    if (ready > 0) {
        wait.broken = !takeNotifications(connection, wait.notifications);
    }
    return wait;
}

} // namespace orvane

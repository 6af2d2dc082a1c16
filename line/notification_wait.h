// Waiting for the line's server to say something changed. A station LISTENs for its commands
// and the line's page for the stations' rows; both wait on the connection's socket, so a quiet
// line costs no queries, and both read the tables when woken: a notification names what
// changed, it never carries what to do.
#pragma once

#include <chrono>
#include <string>
#include <vector>

struct pg_conn;

namespace orvane {

struct Notification {
    std::string channel;
    std::string payload;
};

struct NotificationWait {
    std::vector<Notification> notifications; // empty when the time ran out first
    bool broken = false;                     // the connection is lost: connect again
};

// Waits up to timeout for notifications on a connection that LISTENs, and takes every one
// that has come.
NotificationWait waitForNotifications(pg_conn* connection, std::chrono::milliseconds timeout);

} // namespace orvane

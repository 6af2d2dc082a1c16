// One connection to the line's PostgreSQL server, for one thread: statements with text
// parameters, LISTEN, and the notifications that came since they were last asked for. Every
// wait on the server is bounded (a connect timeout, TCP keepalives and a user timeout), so a
// server that stops answering costs its thread seconds, never the process. The server's
// notices are its log's, never the user's.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

namespace orvane {

// A parameter as text; none is SQL NULL.
using SqlValue = std::optional<std::string>;

// A statement's answer: rows of text, or a failure.
class SqlRows {
  public:
    explicit SqlRows(pg_result* result);
    bool ok() const { return ok_; }
    int count() const;
    std::string text(int row, int column) const;
    bool null(int row, int column) const;
    // The server's words when it refused the statement; empty otherwise.
    std::string error() const;

  private:
    std::shared_ptr<pg_result> result_;
    bool ok_ = false;
};

class LineConnection {
  public:
    explicit LineConnection(std::string uri);
    ~LineConnection();
    LineConnection(const LineConnection&) = delete;
    LineConnection& operator=(const LineConnection&) = delete;

    // Connects unless connected; why says what the server answered when it did not.
    bool connect(std::string& why);
    bool connected() const;
    // A failed statement on a broken connection drops it, so the next connect starts afresh.
    SqlRows run(const std::string& sql, const std::vector<SqlValue>& values = {});
    // Payloads of the notifications that came (on any channel listened to), waiting up to wait
    // for the first when none has; none when the connection is broken.
    std::optional<std::vector<std::string>> notifications(std::chrono::milliseconds wait = {});

  private:
    void dropIfBroken();

    std::string uri_;
    pg_conn* connection_ = nullptr;
};

} // namespace orvane

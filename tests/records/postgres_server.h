// A PostgreSQL 15 server of the test's own: made with initdb in a temporary folder, run as an
// unprivileged user (initdb refuses root), listening only on a Unix socket in that folder,
// stopped and removed at the end. Never a system cluster.
#pragma once

#include <string>

namespace orvane::test {

class PostgresServer {
  public:
    PostgresServer(); // check available() before use
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    bool available() const { return !uri_.empty(); }
    // False when the server's programs are not there at all (the package is missing).
    bool installed() const { return installed_; }
    const std::string& whyNot() const { return whyNot_; }
    const std::string& uri() const { return uri_; }
    bool stop();
    bool start();
    // Runs one SQL command through psql; answers whether it succeeded.
    bool psql(const std::string& sql) const;
    // Runs a script (psql's own commands allowed) as the server's superuser, or at uri.
    bool psqlScript(const std::string& script, const std::string& uri = {}) const;
    // What one query answers, its rows one a line and its fields '|' apart; empty when it failed.
    std::string query(const std::string& sql) const;
    // The server as another role, in another database.
    std::string uriAs(const std::string& role, const std::string& database) const;

  private:
    std::string asServerUser(const std::string& command) const;

    std::string folder_;
    std::string uri_;
    std::string whyNot_;
    bool installed_ = true;
};

} // namespace orvane::test

#include "postgres_server.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <pwd.h>
#include <unistd.h>

namespace orvane::test {
namespace {

const std::string bin = "/usr/lib/postgresql/15/bin/";

bool shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

} // namespace

std::string PostgresServer::asServerUser(const std::string& command) const {
    // As root the server runs as nobody; otherwise as the user running the test.
    return ::geteuid() == 0 ? "runuser -u nobody -- " + command : command;
}

PostgresServer::PostgresServer() {
    if (!std::filesystem::exists(bin + "initdb")) {
        whyNot_ = "PostgreSQL 15 is not installed";
        installed_ = false;
        return;
    }
    char pattern[] = "/tmp/orvane-pg-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        whyNot_ = "no temporary folder";
        return;
    }
    folder_ = pattern;
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        if (nobody == nullptr || ::chown(folder_.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
            whyNot_ = "cannot hand the folder to the user nobody";
            return;
        }
    }
    if (!shell(asServerUser(bin + "initdb -D " + folder_ + "/data -A trust -U orvane --no-sync")) ||
        !start()) {
        whyNot_ = "initdb or the server failed; see " + folder_;
        return;
    }
    uri_ = "postgresql://orvane@/postgres?host=" + folder_;
}

PostgresServer::~PostgresServer() {
    if (!folder_.empty()) {
        stop();
        std::filesystem::remove_all(folder_);
    }
}

bool PostgresServer::start() {
    // No TCP at all: the socket in the folder is the only way in.
    return shell(asServerUser(bin + "pg_ctl -D " + folder_ + "/data -l " + folder_ +
                              "/log -w -o \"-c listen_addresses='' -k " + folder_ + " -c fsync=off\" start"));
}

bool PostgresServer::stop() {
    return shell(asServerUser(bin + "pg_ctl -D " + folder_ + "/data -w -m fast stop"));
}

bool PostgresServer::psql(const std::string& sql) const {
    return shell("psql -X -q -v ON_ERROR_STOP=1 -d '" + uri_ + "' -c \"" + sql + "\"");
}

bool PostgresServer::psqlScript(const std::string& script, const std::string& uri) const {
    const std::string file = folder_ + "/script.sql";
    std::ofstream(file) << script;
    return shell("psql -X -q -v ON_ERROR_STOP=1 -d '" + (uri.empty() ? uri_ : uri) + "' -f " + file);
}

std::string PostgresServer::query(const std::string& sql) const {
    const std::string file = folder_ + "/query.sql";
    std::ofstream(file) << sql;
    const std::string answer = folder_ + "/answer.txt";
    if (!shell("psql -X -q -A -t -v ON_ERROR_STOP=1 -d '" + uri_ + "' -f " + file + " -o " + answer)) {
        return {};
    }
    std::ifstream in(answer);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string PostgresServer::uriAs(const std::string& role, const std::string& database) const {
    return "postgresql://" + role + "@/" + database + "?host=" + folder_;
}

} // namespace orvane::test

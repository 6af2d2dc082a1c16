// ADAPTER (see line_job_source.h): the jobs table and the audit read and written with libpq
// until LineJobs is on main.
#include "imagetools/sha256.h"
#include "station/job_copy.h"
#include "station/line_job_source.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <libpq-fe.h>

namespace orvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto rereadEvery = 5s; // whatever the notifications say
constexpr auto reconnectEvery = 5s;

// Frees a result on every path.
struct Result {
    PGresult* result;
    explicit Result(PGresult* made) : result(made) {}
    ~Result() { PQclear(result); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    bool tuples() const { return PQresultStatus(result) == PGRES_TUPLES_OK; }
    int rows() const { return PQntuples(result); }
    bool null(int column) const { return PQgetisnull(result, 0, column) != 0; }
    std::string text(int column) const { return PQgetvalue(result, 0, column); }
    int number(int column, int none) const { return null(column) ? none : std::stoi(text(column)); }
};

void dropNotice(void* /*unused*/, const char* /*message*/) {}

std::string troubleOf(PGconn* connection) {
    std::string why = connection != nullptr ? PQerrorMessage(connection) : "out of memory";
    std::replace(why.begin(), why.end(), '\n', ' ');
    while (!why.empty() && why.back() == ' ') {
        why.pop_back();
    }
    return why;
}

} // namespace

struct LineJobSource::Server {
    std::string uri;
    JobPin pin;
    std::filesystem::path copyFolder;
    PGconn* connection = nullptr;
    Clock::time_point lastTry{};
    Clock::time_point lastRead{};
    bool tried = false;
    bool mustRead = true;
    JobLook last{};
    std::shared_ptr<const ReleasedJob> held{};

    ~Server() { PQfinish(connection); }
    bool connect();
    bool notified();
    JobLook read();
    JobLook fetch(std::int64_t version);
    JobLook unanswered() {
        last = {JobLook::Kind::Unanswered, {}, troubleOf(connection)};
        PQfinish(connection);
        connection = nullptr;
        return last;
    }
};

bool LineJobSource::Server::connect() {
    lastTry = Clock::now();
    tried = true;
    const char* keywords[] = {"dbname", "connect_timeout", nullptr};
    const char* values[] = {uri.c_str(), "3", nullptr};
    connection = PQconnectdbParams(keywords, values, 1);
    if (PQstatus(connection) != CONNECTION_OK) {
        return false;
    }
    PQsetNoticeProcessor(connection, dropNotice, nullptr);
    const Result listen(PQexec(connection, "LISTEN orvane_jobs"));
    mustRead = true;
    return PQresultStatus(listen.result) == PGRES_COMMAND_OK;
}

// Whether a release or retirement of this job was announced since the last look.
bool LineJobSource::Server::notified() {
    if (PQconsumeInput(connection) == 0) {
        return false;
    }
    bool ours = false;
    while (PGnotify* note = PQnotifies(connection)) {
        ours = ours || pin.name == note->extra;
        PQfreemem(note);
    }
    return ours;
}

JobLook LineJobSource::Server::read() {
    const char* name[] = {pin.name.c_str()};
    const Result state(
        PQexecParams(connection, "SELECT version, retired FROM jobs WHERE name = $1 ORDER BY id DESC LIMIT 1",
                     1, nullptr, name, nullptr, nullptr, 0));
    if (!state.tuples()) {
        if (PQstatus(connection) != CONNECTION_OK) {
            return unanswered();
        }
        return {JobLook::Kind::Refused, {}, "the line's jobs cannot be read: " + troubleOf(connection)};
    }
    if (state.rows() == 0) {
        return {JobLook::Kind::Refused, {}, "no job " + pin.name + " has been released on this line"};
    }
    if (state.text(1) == "t") {
        return {JobLook::Kind::Retired};
    }
    const std::int64_t version = pin.version.value_or(std::stoll(state.text(0)));
    if (held && held->version == version) {
        return {JobLook::Kind::Released, held};
    }
    return fetch(version);
}

JobLook LineJobSource::Server::fetch(std::int64_t version) {
    const std::string versionText = std::to_string(version);
    const char* values[] = {pin.name.c_str(), versionText.c_str()};
    const Result row(PQexecParams(connection,
                                  "SELECT image, image_name, image_sha256, target, address, line_speed, "
                                  "upgrade_speed, low_latency, max_resends FROM jobs "
                                  "WHERE name = $1 AND version = $2",
                                  2, nullptr, values, nullptr, nullptr, 0));
    if (!row.tuples()) {
        return PQstatus(connection) != CONNECTION_OK
                   ? unanswered()
                   : JobLook{JobLook::Kind::Refused, {}, troubleOf(connection)};
    }
    const std::string which = "job " + pin.name + " version " + versionText;
    if (row.rows() == 0) {
        return {JobLook::Kind::Refused, {}, "there is no " + which};
    }
    auto job = std::make_shared<ReleasedJob>();
    job->name = pin.name;
    job->version = version;
    std::size_t length = 0;
    unsigned char* bytes =
        PQunescapeBytea(reinterpret_cast<const unsigned char*>(PQgetvalue(row.result, 0, 0)), &length);
    job->image.bytes.assign(bytes, bytes + (bytes != nullptr ? length : 0));
    PQfreemem(bytes);
    job->image.path = row.text(1);
    job->image.sha256 = hexDigest(sha256Of(job->image.bytes));
    std::string released = row.text(2);
    std::transform(released.begin(), released.end(), released.begin(), ::tolower);
    if (job->image.sha256 != released) {
        return {JobLook::Kind::Refused,
                {},
                "the bytes of " + which + " have SHA-256 " + job->image.sha256 + ", not " + released};
    }
    const auto target = jobTargetNamed(row.null(3) ? "main" : row.text(3));
    if (!target) {
        return {JobLook::Kind::Refused, {}, which + " names an unknown target " + row.text(3)};
    }
    job->settings = {*target,
                     row.number(4, 1),
                     row.number(5, 9600),
                     row.number(6, 9600),
                     row.text(7) == "t",
                     static_cast<std::uint32_t>(row.number(8, 20))};
    held = job;
    keepJobCopy(copyFolder, *job); // a copy that cannot be kept only costs the start without a server
    return {JobLook::Kind::Released, held};
}

LineJobSource::LineJobSource(std::string uri, JobPin pin, std::filesystem::path copyFolder)
    : server_(std::make_unique<Server>(Server{std::move(uri), std::move(pin), std::move(copyFolder)})) {}

LineJobSource::~LineJobSource() = default;

JobLook LineJobSource::look() {
    Server& server = *server_;
    const auto now = Clock::now();
    if (server.connection == nullptr || PQstatus(server.connection) != CONNECTION_OK) {
        if (server.tried && now - server.lastTry < reconnectEvery) {
            return server.last;
        }
        PQfinish(server.connection);
        server.connection = nullptr;
        if (!server.connect()) {
            return server.unanswered();
        }
    }
    if (server.notified()) {
        server.mustRead = true;
    }
    if (!server.mustRead && now - server.lastRead < rereadEvery) {
        return server.last;
    }
    server.lastRead = now;
    server.mustRead = false;
    server.last = server.read();
    return server.last;
}

bool LineJobSource::noteStation(std::string_view action, const ReleasedJob* job, const std::string& station,
                                const std::string& host, const std::string& operatorName) {
    Server& server = *server_;
    const std::string actionText(action);
    const std::string version = job != nullptr ? std::to_string(job->version) : std::string();
    const char* values[] = {actionText.c_str(),
                            server.pin.name.c_str(),
                            job != nullptr ? version.c_str() : nullptr,
                            station.c_str(),
                            host.c_str(),
                            operatorName.empty() ? nullptr : operatorName.c_str()};
    // A connection the server dropped meanwhile (restarted) is only found out by using it.
    for (int tries = 0; tries < 2; ++tries) {
        if (server.connection == nullptr || PQstatus(server.connection) != CONNECTION_OK) {
            PQfinish(server.connection);
            server.connection = nullptr;
            if (!server.connect()) {
                return false;
            }
        }
        const Result written(
            PQexecParams(server.connection,
                         "INSERT INTO audit (action, job, job_version, station, host, operator) "
                         "VALUES ($1, $2, $3, $4, $5, $6)",
                         6, nullptr, values, nullptr, nullptr, 0));
        if (PQresultStatus(written.result) == PGRES_COMMAND_OK) {
            return true;
        }
    }
    return false;
}

} // namespace orvane

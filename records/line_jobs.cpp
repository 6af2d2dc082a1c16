// The line's jobs through libpq. Releases and retirements of one job are taken one at a time
// (an advisory lock of the transaction, which every role may take), so the next version is
// read and written without a second releaser in between; a unique clash with a releaser that
// does not lock is tried once more.
#include "records/line_jobs.h"

#include "records/line_tables.h"
#include "records/postgres_query.h"
#include "records/store_place.h"

#include <algorithm>
#include <mutex>

namespace orvane {
namespace {

using Connection = std::unique_ptr<pg_conn, decltype(&PQfinish)>;

std::string ms(std::string_view column) {
    return "(extract(epoch FROM " + std::string(column) + ") * 1000)::bigint";
}

// A version's columns as releasedJobOf reads them, from the column given on.
const std::string jobColumns = "name, version, image_name, image_size, image_sha256, target, address, "
                               "line_speed, upgrade_speed, low_latency, max_resends, note, released_by, "
                               "operator, " +
                               ms("released_at");
constexpr int jobColumnCount = 15;

std::int64_t numberAt(PGresult* result, int row, int column, std::int64_t none = 0) {
    return PQgetisnull(result, row, column) ? none : std::stoll(fieldText(result, row, column));
}

StoredJob releasedJobOf(PGresult* result, int row, int from) {
    const auto text = [&](int column) { return fieldText(result, row, from + column); };
    const auto number = [&](int column, std::int64_t none = 0) {
        return numberAt(result, row, from + column, none);
    };
    StoredJob job;
    job.name = text(0);
    job.version = number(1);
    job.imageName = text(2);
    job.imageSize = number(3);
    job.imageSha256 = text(4);
    // A setting left NULL (a row written by hand) is the one a release takes when not given.
    const LineJobSettings given;
    job.settings = {PQgetisnull(result, row, from + 5) ? given.target : text(5),
                    static_cast<int>(number(6, given.address)),
                    static_cast<int>(number(7, given.lineSpeed)),
                    static_cast<int>(number(8, given.upgradeSpeed)),
                    text(9) == "t",
                    static_cast<std::uint32_t>(number(10, given.maxResends))};
    job.note = text(11);
    job.releasedBy = text(12);
    job.operatorName = text(13);
    job.releasedAtMs = number(14);
    return job;
}

std::optional<std::string> optionalText(PGresult* result, int row, int column) {
    return PQgetisnull(result, row, column) ? std::nullopt : std::optional(fieldText(result, row, column));
}

PgValue textOrNull(const std::string& text) {
    return text.empty() ? PgValue() : PgValue(text);
}

std::string noJob(const std::string& name) {
    return "No job " + name + " on this line (orvane-cli job list shows the jobs released)";
}

class PostgresJobs final : public LineJobs {
  public:
    explicit PostgresJobs(std::string uri) : uri_(std::move(uri)), shown_(shownPlace(uri_)) {}

    JobsStatus release(const JobRelease& release, std::int64_t& version) override;
    JobsStatus retire(const std::string& name, const std::string& operatorName,
                      const std::string& note) override;
    FetchedJob fetch(const std::string& name, std::optional<std::int64_t> version) override;
    std::vector<JobState> list(JobsStatus& status) override { return states(std::nullopt, status); }
    std::optional<JobState> state(const std::string& name, JobsStatus& status) override;
    bool awaitChange(const std::string& name, std::chrono::milliseconds timeout, JobsStatus& status) override;
    std::vector<AuditEntry> history(const std::optional<std::string>& name, JobsStatus& status) override;
    JobsStatus noteStation(std::string_view action, const std::string& station, const std::string& host,
                           const std::optional<std::string>& job, std::optional<std::int64_t> version,
                           const std::string& operatorName) override;

  private:
    JobsStatus connect();
    // Of every job, or of the one named.
    std::vector<JobState> states(const std::optional<std::string>& name, JobsStatus& status);
    JobsStatus failure(std::string_view what, const std::string& state);
    JobsStatus lost();
    PgResult run(const std::string& sql, std::span<const PgValue> values, std::string& state) {
        return runSql(connection_.get(), sql, values, &state);
    }
    // BEGIN and the job's lock; the caller ends the transaction.
    bool begin(const std::string& name, std::string& state);
    JobsStatus rollBack(std::string_view what, const std::string& state);
    JobsStatus insertVersion(const JobRelease& release, std::int64_t& version, std::string& state);

    std::string uri_;
    std::string shown_; // without a password
    std::mutex mutex_;
    Connection connection_{nullptr, &PQfinish};
    bool listening_ = false; // LISTEN sent on this connection
};

JobsStatus PostgresJobs::connect() {
    if (connection_ && PQstatus(connection_.get()) == CONNECTION_OK) {
        return {};
    }
    std::string why;
    connection_.reset(connectToServer(uri_, why));
    listening_ = false;
    if (!connection_) {
        return {false, true, "The line's database " + shown_ + " does not answer (" + why + ")"};
    }
    return {};
}

// The connection dropped, to be made again at the next call.
JobsStatus PostgresJobs::lost() {
    const std::string why = serverTrouble(connection_.get());
    connection_.reset();
    return {false, true, "The line's database " + shown_ + " stopped answering (" + why + ")"};
}

// A failed statement as the engineer can act on it.
JobsStatus PostgresJobs::failure(std::string_view what, const std::string& state) {
    if (PQstatus(connection_.get()) != CONNECTION_OK) {
        return lost();
    }
    if (state == sqlUndefinedTable) {
        return {false, false,
                "The line's database " + shown_ +
                    " has no jobs yet: its owner must run orvane-cli records --init "
                    "--records " +
                    shown_};
    }
    if (state == sqlInsufficientPrivilege) {
        const std::string role = PQuser(connection_.get());
        const bool writes = what == "release jobs" || what == "retire jobs";
        return {false, false,
                "The role " + role + " may not " + std::string(what) +
                    ": ask the line's owner to grant it the " + (writes ? "engineer" : "reader") +
                    " role's rights (docs/station.md, \"Roles\")"};
    }
    return {false, false,
            "Cannot " + std::string(what) + " on " + shown_ + ": " + serverTrouble(connection_.get())};
}

bool PostgresJobs::begin(const std::string& name, std::string& state) {
    const PgValue key[] = {"orvane_jobs " + name};
    return run("BEGIN", {}, state) && run("SELECT pg_advisory_xact_lock(hashtext($1))", key, state);
}

JobsStatus PostgresJobs::rollBack(std::string_view what, const std::string& state) {
    JobsStatus failed = failure(what, state);
    std::string ignored;
    if (!failed.unreachable) {
        (void)run("ROLLBACK", {}, ignored);
    }
    return failed;
}

} // namespace

JobsStatus PostgresJobs::insertVersion(const JobRelease& release, std::int64_t& version, std::string& state) {
    const LineJobSettings& s = release.settings;
    const PgValue values[] = {release.name,
                              release.image,
                              release.imageName,
                              s.target,
                              std::int64_t{s.address},
                              std::int64_t{s.lineSpeed},
                              std::int64_t{s.upgradeSpeed},
                              std::string(s.lowLatency ? "true" : "false"),
                              std::int64_t{s.maxResends},
                              textOrNull(release.note),
                              textOrNull(release.operatorName)};
    // The size and digest the server takes of the bytes it got, so they always match them.
    const PgResult made =
        run("INSERT INTO jobs (name, version, image, image_name, image_size, image_sha256, target, address, "
            "line_speed, upgrade_speed, low_latency, max_resends, note, operator) VALUES ($1::text, "
            "(SELECT coalesce(max(version), 0) + 1 FROM jobs WHERE name = $1::text), $2::bytea, $3, "
            "octet_length($2::bytea), encode(sha256($2::bytea), 'hex'), $4, $5, $6, $7, $8::boolean, $9, "
            "$10, $11) "
            "RETURNING version, image_sha256",
            values, state);
    if (!made) {
        return {false, false, {}};
    }
    version = std::stoll(fieldText(made.get(), 0, 0));
    if (fieldText(made.get(), 0, 1) != release.imageSha256) {
        return {false, false,
                "The line's database got other bytes than " + release.imageName +
                    " holds (their SHA-256 differs): nothing was released; release it again"};
    }
    const PgValue audit[] = {textOrNull(release.operatorName), std::string(auditRelease), release.name,
                             version, textOrNull(release.note)};
    const PgValue name[] = {std::string(jobsChannel), release.name};
    if (!run("INSERT INTO audit (operator, action, job, job_version, note) VALUES ($1, $2, $3, $4, $5)",
             audit, state) ||
        !run("SELECT pg_notify($1, $2)", name, state) || !run("COMMIT", {}, state)) {
        return {false, false, {}};
    }
    return {};
}

JobsStatus PostgresJobs::release(const JobRelease& release, std::int64_t& version) {
    const std::lock_guard lock(mutex_);
    if (JobsStatus reached = connect(); !reached.ok) {
        return reached;
    }
    // Once more after a unique clash: a releaser that took no lock wrote the same version first.
    for (int attempt = 0;; ++attempt) {
        std::string state;
        JobsStatus inserted{false, false, {}};
        if (begin(release.name, state)) {
            inserted = insertVersion(release, version, state);
        }
        if (inserted.ok) {
            return inserted;
        }
        if (!inserted.reason.empty()) {
            std::string ignored;
            (void)run("ROLLBACK", {}, ignored);
            return inserted;
        }
        if (state != sqlUniqueViolation || attempt > 0) {
            return rollBack("release jobs", state);
        }
        std::string ignored;
        (void)run("ROLLBACK", {}, ignored);
    }
}

JobsStatus PostgresJobs::retire(const std::string& name, const std::string& operatorName,
                                const std::string& note) {
    const std::lock_guard lock(mutex_);
    if (JobsStatus reached = connect(); !reached.ok) {
        return reached;
    }
    std::string state;
    const PgValue key[] = {name};
    const PgValue notice[] = {std::string(jobsChannel), name};
    if (!begin(name, state)) {
        return rollBack("retire jobs", state);
    }
    const PgResult now = run("SELECT retired FROM jobs WHERE name = $1 ORDER BY id DESC LIMIT 1", key, state);
    if (!now) {
        return rollBack("retire jobs", state);
    }
    if (PQntuples(now.get()) == 0 || fieldText(now.get(), 0, 0) == "t") {
        (void)run("ROLLBACK", {}, state);
        return {false, false,
                PQntuples(now.get()) == 0 ? noJob(name) : "The job " + name + " is retired already"};
    }
    const PgValue row[] = {name, textOrNull(operatorName), textOrNull(note)};
    const PgValue audit[] = {textOrNull(operatorName), std::string(auditRetire), name, textOrNull(note)};
    if (!run("INSERT INTO jobs (name, retired, operator, note) VALUES ($1, true, $2, $3)", row, state) ||
        !run("INSERT INTO audit (operator, action, job, note) VALUES ($1, $2, $3, $4)", audit, state) ||
        !run("SELECT pg_notify($1, $2)", notice, state) || !run("COMMIT", {}, state)) {
        return rollBack("retire jobs", state);
    }
    return {};
}

FetchedJob PostgresJobs::fetch(const std::string& name, std::optional<std::int64_t> version) {
    const std::lock_guard lock(mutex_);
    FetchedJob fetched;
    if (fetched.status = connect(); !fetched.status.ok) {
        return fetched;
    }
    // The job's state and the version wanted in one statement, so both are of one moment; a
    // retired job's bytes are not sent unless a version is asked for.
    const PgValue values[] = {name, version ? PgValue(*version) : PgValue()};
    std::string state;
    const PgResult found = run(
        "SELECT s.retired, (SELECT max(version) FROM jobs WHERE name = $1), v.* FROM (SELECT retired FROM "
        "jobs "
        "WHERE name = $1 ORDER BY id DESC LIMIT 1) s LEFT JOIN LATERAL (SELECT " +
            jobColumns +
            ", image FROM jobs WHERE name = $1 AND version IS NOT NULL AND (version = $2::integer OR ($2 IS "
            "NULL AND NOT s.retired)) ORDER BY version DESC LIMIT 1) v ON true",
        values, state);
    if (!found) {
        fetched.status = failure("read the line's jobs", state);
        return fetched;
    }
    if (PQntuples(found.get()) == 0) {
        fetched.status = {false, false, noJob(name)};
        return fetched;
    }
    fetched.retired = fieldText(found.get(), 0, 0) == "t";
    if (PQgetisnull(found.get(), 0, 2)) {
        if (version) {
            fetched.status = {false, false,
                              "The job " + name + " has no version " + std::to_string(*version) +
                                  " (its latest is " + fieldText(found.get(), 0, 1) + ")"};
        }
        return fetched;
    }
    StoredJob job = releasedJobOf(found.get(), 0, 2);
    std::size_t length = 0;
    const auto* hex = reinterpret_cast<const unsigned char*>(PQgetvalue(found.get(), 0, 2 + jobColumnCount));
    std::unique_ptr<unsigned char, decltype(&PQfreemem)> bytes(PQunescapeBytea(hex, &length), &PQfreemem);
    if (!bytes) {
        fetched.status = {false, false, "Cannot read the image of " + name + ": out of memory"};
        return fetched;
    }
    job.image.assign(bytes.get(), bytes.get() + length);
    fetched.job = std::move(job);
    return fetched;
}

std::vector<JobState> PostgresJobs::states(const std::optional<std::string>& name, JobsStatus& status) {
    const std::lock_guard lock(mutex_);
    std::vector<JobState> jobs;
    if (status = connect(); !status.ok) {
        return jobs;
    }
    std::string state;
    const PgValue values[] = {name ? PgValue(*name) : PgValue()};
    const PgResult found =
        run("SELECT s.retired, s.released_by, " + ms("s.released_at") +
                ", v.* FROM (SELECT "
                "DISTINCT ON (name) name, retired, released_by, released_at FROM jobs WHERE $1::text IS NULL "
                "OR name = $1 ORDER BY name, id DESC) s JOIN LATERAL (SELECT " +
                jobColumns +
                " FROM jobs WHERE name = s.name AND version IS NOT NULL ORDER BY version DESC "
                "LIMIT 1) v ON true ORDER BY s.name",
            values, state);
    if (!found) {
        status = failure("read the line's jobs", state);
        return jobs;
    }
    for (int row = 0; row < PQntuples(found.get()); ++row) {
        JobState job;
        job.latest = releasedJobOf(found.get(), row, 3);
        job.retired = fieldText(found.get(), row, 0) == "t";
        if (job.retired) {
            job.retiredBy = fieldText(found.get(), row, 1);
            job.retiredAtMs = numberAt(found.get(), row, 2);
        }
        jobs.push_back(std::move(job));
    }
    return jobs;
}

std::optional<JobState> PostgresJobs::state(const std::string& name, JobsStatus& status) {
    std::vector<JobState> found = states(name, status);
    return found.empty() ? std::nullopt : std::optional(std::move(found.front()));
}

bool PostgresJobs::awaitChange(const std::string& name, std::chrono::milliseconds timeout,
                               JobsStatus& status) {
    const std::lock_guard lock(mutex_);
    if (status = connect(); !status.ok) {
        return false;
    }
    if (!listening_) {
        std::string state;
        const std::string listen = "LISTEN " + std::string(jobsChannel);
        if (!run(listen, {}, state)) {
            status = failure("read the line's jobs", state);
            return false;
        }
        listening_ = true;
        return true;
    }
    const auto payloads = awaitNotices(connection_.get(), timeout);
    if (!payloads) {
        status = lost();
        return false;
    }
    return std::find(payloads->begin(), payloads->end(), name) != payloads->end();
}

std::vector<AuditEntry> PostgresJobs::history(const std::optional<std::string>& name, JobsStatus& status) {
    const std::lock_guard lock(mutex_);
    std::vector<AuditEntry> entries;
    if (status = connect(); !status.ok) {
        return entries;
    }
    std::string state;
    const PgValue values[] = {name ? PgValue(*name) : PgValue()};
    const PgResult found =
        run("SELECT " + ms("at") +
                ", role, operator, action, job, job_version, station, host, note FROM audit "
                "WHERE $1::text IS NULL OR job = $1 ORDER BY id",
            values, state);
    if (!found) {
        status = failure("read the line's audit", state);
        return entries;
    }
    for (int row = 0; row < PQntuples(found.get()); ++row) {
        PGresult* r = found.get();
        entries.push_back({numberAt(r, row, 0), fieldText(r, row, 1), fieldText(r, row, 2),
                           fieldText(r, row, 3), optionalText(r, row, 4),
                           PQgetisnull(r, row, 5) ? std::nullopt : std::optional(numberAt(r, row, 5)),
                           optionalText(r, row, 6), optionalText(r, row, 7), optionalText(r, row, 8)});
    }
    return entries;
}

JobsStatus PostgresJobs::noteStation(std::string_view action, const std::string& station,
                                     const std::string& host, const std::optional<std::string>& job,
                                     std::optional<std::int64_t> version, const std::string& operatorName) {
    const std::lock_guard lock(mutex_);
    if (JobsStatus reached = connect(); !reached.ok) {
        return reached;
    }
    const PgValue values[] = {textOrNull(operatorName),
                              std::string(action),
                              job ? PgValue(*job) : PgValue(),
                              version ? PgValue(*version) : PgValue(),
                              station,
                              host};
    std::string state;
    if (!run("INSERT INTO audit (operator, action, job, job_version, station, host) VALUES ($1, $2, $3, $4, "
             "$5, $6)",
             values, state)) {
        return failure("write the line's audit", state);
    }
    return {};
}

std::unique_ptr<LineJobs> LineJobs::open(const std::string& uri, JobsStatus& status) {
    status = {};
    return std::make_unique<PostgresJobs>(uri);
}

} // namespace orvane

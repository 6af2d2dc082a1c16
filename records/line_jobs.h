// The jobs an engineer releases to a line, kept in the line's PostgreSQL database: each
// release the image's bytes with every setting a station needs, as the job's next version
// (1, 2, ...); a retirement stops the job until it is released again. Every release,
// retirement and station start or stop is written to the line's audit with the database role
// and the operator who did it. Stations are woken by NOTIFY orvane_jobs (payload: the job's
// name) but always read the table. Over a connection of its own, so a station's records and
// its job never wait on one another.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// What a job fixes for every camera it upgrades, as `upgrade` takes it.
struct LineJobSettings {
    std::string target = "main"; // main, motor, special
    int address = 1;
    int lineSpeed = 9600;
    int upgradeSpeed = 9600;
    bool lowLatency = false;
    std::uint32_t maxResends = 0;
};

// A release as it is asked for: the image already read and checked by the image loader.
struct JobRelease {
    std::string name;
    std::string imageName; // the file as given
    std::span<const std::uint8_t> image;
    std::string imageSha256; // of image, lower-case hex: checked against what the server got
    LineJobSettings settings;
    std::string note;
    std::string operatorName;
};

struct StoredJob {
    std::string name;
    std::int64_t version = 0;
    std::string imageName;
    std::int64_t imageSize = 0;
    std::string imageSha256;
    LineJobSettings settings;
    std::string note;
    std::string releasedBy; // the database role
    std::string operatorName;
    std::int64_t releasedAtMs = 0;
    std::vector<std::uint8_t> image; // the bytes; fetch only
};

// A job as the line has it now: its latest version, and whether it was retired since.
struct JobState {
    StoredJob latest; // without the image
    bool retired = false;
    std::int64_t retiredAtMs = 0;
    std::string retiredBy;
};

inline constexpr std::string_view auditRelease = "release";
inline constexpr std::string_view auditRetire = "retire";
inline constexpr std::string_view auditStationStarted = "station started";
inline constexpr std::string_view auditStationStopped = "station stopped";

struct AuditEntry {
    std::int64_t atMs = 0;
    std::string role; // the database role
    std::string operatorName;
    std::string action; // one of the audit... above
    std::optional<std::string> job;
    std::optional<std::int64_t> jobVersion;
    std::optional<std::string> station;
    std::optional<std::string> host;
    std::optional<std::string> note;
};

struct JobsStatus {
    bool ok = true;
    bool unreachable = false; // the server did not answer (a station goes on with what it holds)
    std::string reason;       // why not, for the engineer: what to do about it
};

struct FetchedJob {
    // With its bytes: the latest version (none once retired) or the version asked for.
    std::optional<StoredJob> job;
    bool retired = false; // the job is retired now
    JobsStatus status;
};

class LineJobs {
  public:
    // The jobs of the line at uri ("postgresql://..."). The server is reached at the first
    // call and again after it stopped answering. Null, with the reason, where this build
    // keeps nothing on a PostgreSQL server.
    static std::unique_ptr<LineJobs> open(const std::string& uri, JobsStatus& status);
    virtual ~LineJobs() = default;

    // The next version of release.name, answered in version; a retired job comes back.
    virtual JobsStatus release(const JobRelease& release, std::int64_t& version) = 0;
    // Refused for a job never released, or one retired already.
    virtual JobsStatus retire(const std::string& name, const std::string& operatorName,
                              const std::string& note) = 0;
    virtual FetchedJob fetch(const std::string& name, std::optional<std::int64_t> version) = 0;
    // Every job released, by name.
    virtual std::vector<JobState> list(JobsStatus& status) = 0;
    // One job's state, without bytes: a cheap look before a fetch. None for a job never released.
    virtual std::optional<JobState> state(const std::string& name, JobsStatus& status) = 0;
    // Waits up to timeout for a release or retirement of name announced on the jobs' channel
    // (listened to from the first call on each connection). True when one came, or when the
    // listening just began (what came before it was not heard): read the job's state then.
    virtual bool awaitChange(const std::string& name, std::chrono::milliseconds timeout,
                             JobsStatus& status) = 0;
    // The audit, the oldest first: of one job when named (with the stations that ran it).
    virtual std::vector<AuditEntry> history(const std::optional<std::string>& name, JobsStatus& status) = 0;
    // A station's start or stop (auditStationStarted, auditStationStopped) with the job it runs.
    virtual JobsStatus noteStation(std::string_view action, const std::string& station,
                                   const std::string& host, const std::optional<std::string>& job,
                                   std::optional<std::int64_t> version,
                                   const std::string& operatorName = {}) = 0;
};

} // namespace orvane

#include "station/line_job_source.h"

#include "imagetools/sha256.h"
#include "records/line_jobs.h"
#include "station/job_copy.h"

#include <algorithm>
#include <chrono>

namespace orvane {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

constexpr auto rereadEvery = 5s;    // whatever the notifications say
constexpr auto retryEvery = 5s;     // a server that did not answer
constexpr auto listenSlice = 250ms; // how soon a stop is heard while waiting for a notification

JobLook failed(const JobsStatus& status) {
    return {status.unreachable ? JobLook::Kind::Unanswered : JobLook::Kind::Refused, {}, status.reason};
}

// A fetched version as the station takes it: its bytes verified, its settings understood.
JobLook taken(const std::string& name, StoredJob got) {
    const std::string which = "job " + name + " version " + std::to_string(got.version);
    auto job = std::make_shared<ReleasedJob>();
    job->name = name;
    job->version = got.version;
    job->image.path = got.imageName;
    job->image.bytes = std::move(got.image);
    job->image.sha256 = hexDigest(sha256Of(job->image.bytes));
    std::string released = got.imageSha256;
    std::transform(released.begin(), released.end(), released.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (job->image.sha256 != released) {
        return {JobLook::Kind::Refused,
                {},
                "the bytes of " + which + " have SHA-256 " + job->image.sha256 + ", not " + released};
    }
    const LineJobSettings& s = got.settings;
    const auto target = jobTargetNamed(s.target);
    if (!target) {
        return {JobLook::Kind::Refused, {}, which + " names an unknown target " + s.target};
    }
    job->settings = {*target, s.address, s.lineSpeed, s.upgradeSpeed, s.lowLatency, s.maxResends};
    return {JobLook::Kind::Released, std::move(job)};
}

} // namespace

LineJobSource::LineJobSource(const std::string& uri, JobReference pin, std::filesystem::path copyFolder)
    : pin_(std::move(pin)), copyFolder_(std::move(copyFolder)) {
    JobsStatus status;
    watched_ = LineJobs::open(uri, status);
    audit_ = LineJobs::open(uri, status);
    unopened_ = status.reason;
}

LineJobSource::~LineJobSource() = default;

JobLook LineJobSource::first() {
    if (!watched_) {
        return {JobLook::Kind::Unanswered, {}, unopened_};
    }
    found(read(true));
    thread_ = std::jthread([this](const std::stop_token& stop) { follow(stop); });
    return look();
}

JobLook LineJobSource::look() {
    const std::lock_guard lock(mutex_);
    return latest_;
}

void LineJobSource::found(JobLook look) {
    const std::lock_guard lock(mutex_);
    latest_ = std::move(look);
}

// holdRetired: a retired job's latest (or pinned) version is fetched all the same, for a
// station that starts now and must hold some version while it waits.
JobLook LineJobSource::read(bool holdRetired) {
    JobsStatus status;
    const std::optional<JobState> state = watched_->state(pin_.name, status);
    if (!status.ok) {
        return failed(status);
    }
    if (!state) {
        return {JobLook::Kind::Refused, {}, "no job " + pin_.name + " has been released on this line"};
    }
    const std::int64_t version = pin_.version.value_or(state->latest.version);
    if (state->retired && !holdRetired) {
        return {JobLook::Kind::Retired};
    }
    JobLook look =
        held_ && held_->version == version ? JobLook{JobLook::Kind::Released, held_} : take(version);
    if (state->retired && look.kind == JobLook::Kind::Released) {
        look.kind = JobLook::Kind::Retired;
    }
    return look;
}

JobLook LineJobSource::take(std::int64_t version) {
    FetchedJob fetched = watched_->fetch(pin_.name, version);
    if (!fetched.status.ok) {
        return failed(fetched.status);
    }
    if (!fetched.job) {
        return {JobLook::Kind::Refused,
                {},
                "there is no job " + pin_.name + " version " + std::to_string(version)};
    }
    JobLook look = taken(pin_.name, std::move(*fetched.job));
    if (look.kind == JobLook::Kind::Released) {
        held_ = look.job;
        keepJobCopy(copyFolder_, *held_); // a copy that cannot be kept only costs the start without a server
    }
    return look;
}

// Waits for the job's notifications and reads it when one comes, at least every rereadEvery;
// a server that does not answer is tried again every retryEvery.
void LineJobSource::follow(const std::stop_token& stop) {
    auto lastRead = SteadyClock::now();
    while (!stop.stop_requested()) {
        JobsStatus status;
        const bool changed = watched_->awaitChange(pin_.name, listenSlice, status);
        if (!status.ok) {
            found(failed(status));
            std::unique_lock lock(mutex_);
            woken_.wait_for(lock, stop, retryEvery, [] { return false; });
            continue;
        }
        if (changed || SteadyClock::now() - lastRead >= rereadEvery) {
            found(read(false));
            lastRead = SteadyClock::now();
        }
    }
}

bool LineJobSource::noteStation(std::string_view action, const ReleasedJob* job, const std::string& station,
                                const std::string& host, const std::string& operatorName) {
    if (!audit_) {
        return false;
    }
    const std::optional<std::int64_t> version = job != nullptr ? std::optional(job->version) : std::nullopt;
    // Once more on a connection the server dropped meanwhile (restarted): only using it finds out.
    for (int tries = 0; tries < 2; ++tries) {
        const JobsStatus written =
            audit_->noteStation(action, station, host, pin_.name, version, operatorName);
        if (written.ok || !written.unreachable) {
            return written.ok;
        }
    }
    return false;
}

} // namespace orvane

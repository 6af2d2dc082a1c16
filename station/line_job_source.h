// The job as the line's server holds it (records' LineJobs): its newest state (retired, or its
// latest version), the image's bytes fetched only when the version changed and verified against
// the SHA-256 they were released with, and every version taken kept as the station's copy.
// The looking is done on a thread of its own, woken by the jobs' notifications and reading again
// every few seconds whatever they say, so a server that is away never holds the station's loop:
// look() only answers the latest finding.
#pragma once

#include "records/job_name.h"
#include "station/job_source.h"

#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace orvane {

class LineJobs;

class LineJobSource final : public JobSource {
  public:
    // copyFolder: where each version taken is kept (keepJobCopy).
    LineJobSource(const std::string& uri, JobReference pin, std::filesystem::path copyFolder);
    ~LineJobSource() override;
    LineJobSource(const LineJobSource&) = delete;
    LineJobSource& operator=(const LineJobSource&) = delete;

    // The first look, waited for, then the looking goes on on its own thread. A retired job's
    // look carries the version a station started now holds (the latest, or the one pinned).
    JobLook first();
    // The latest finding; never waits on the server.
    JobLook look() override;
    // The audit's 'station started' or 'station stopped' row with the job's version; answers
    // whether it was written (a line whose server is away goes on without it).
    bool noteStation(std::string_view action, const ReleasedJob* job, const std::string& station,
                     const std::string& host, const std::string& operatorName);

  private:
    JobLook read(bool holdRetired);
    JobLook take(std::int64_t version);
    void follow(const std::stop_token& stop);
    void found(JobLook look);

    JobReference pin_;
    std::filesystem::path copyFolder_;
    std::string unopened_;              // why the line's jobs cannot be reached from this build
    std::unique_ptr<LineJobs> watched_; // the looking thread's only
    std::unique_ptr<LineJobs> audit_;   // the caller's: a looking thread never holds it up
    std::shared_ptr<const ReleasedJob> held_;
    std::mutex mutex_;
    std::condition_variable_any woken_;
    JobLook latest_;
    std::jthread thread_; // last: it stops before what it uses goes
};

} // namespace orvane

// The job as the line's PostgreSQL server holds it: the newest row of the job's name in the
// jobs table (retired, or its latest version), the image's bytes verified against the SHA-256
// they were released with, and every version taken kept as the station's copy. Woken by
// LISTEN orvane_jobs, and read again every few seconds whatever the notifications say.
//
// ADAPTER: until records/line_jobs.h (LineJobs) is on main, this file reads the jobs table and
// writes the audit rows over a libpq connection of its own; then look() rests on
// LineJobs::fetch and noteStation on LineJobs::noteStation, and this header stays as it is.
#pragma once

#include "station/job_source.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

struct JobPin {
    std::string name;
    std::optional<std::int64_t> version{}; // NAME@VERSION: that one, never a newer one
};

// NAME or NAME@VERSION (a version from 1); nullopt for anything else.
std::optional<JobPin> jobPinOf(std::string_view given);

class LineJobSource final : public JobSource {
  public:
    // copyFolder: where each version taken is kept (keepJobCopy).
    LineJobSource(std::string uri, JobPin pin, std::filesystem::path copyFolder);
    ~LineJobSource() override;
    LineJobSource(const LineJobSource&) = delete;
    LineJobSource& operator=(const LineJobSource&) = delete;

    JobLook look() override;
    // The audit's 'station started' or 'station stopped' row with the job's version; answers
    // whether it was written (a line whose server is away goes on without it).
    bool noteStation(std::string_view action, const ReleasedJob* job, const std::string& station,
                     const std::string& host, const std::string& operatorName);

  private:
    struct Server;
    std::unique_ptr<Server> server_;
};

} // namespace orvane

// The station's rule for a released job: a new plug takes the version the line holds now; the
// retries of a plug keep the version its first attempt took; a retired job starts no attempt.
// Each change is given once as a note, for the terminal, the JSON and the page.
#pragma once

#include "station/job_source.h"

#include <optional>
#include <string>
#include <vector>

namespace orvane {

struct JobNote {
    enum class Kind : std::uint8_t {
        Taken,      // job: a version taken for the next new plugs
        Retired,    // the job was retired: cameras wait
        Unanswered, // the server stopped answering: the station goes on with job
        Answered,   // the server answers again
        Refused     // a version refused (reason); the station goes on with job
    };
    Kind kind = Kind::Taken;
    std::shared_ptr<const ReleasedJob> job{}; // the version taken, or the one held (may be null)
    std::string reason{};
};

// How the shift starts on its first version (already said).
struct JobStart {
    bool answering = true; // false: it came from the kept copy, the server not answering
    bool retired = false;  // the job is retired: it is only held until a release
};

class JobSwitch {
  public:
    JobSwitch(JobSource& source, std::shared_ptr<const ReleasedJob> first, JobStart start = {});

    // Asks the source; answers what changed since the last look.
    std::vector<JobNote> look();
    // What a new plug takes now; null while the job is retired.
    std::shared_ptr<const ReleasedJob> forNewPlug() const;
    bool retired() const { return retired_; }

  private:
    JobSource& source_;
    std::shared_ptr<const ReleasedJob> current_;
    bool retired_ = false;
    bool unanswered_ = false;
    std::optional<std::string> refused_; // the last refusal said, not said again
};

} // namespace orvane

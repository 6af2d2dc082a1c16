#include "records/line_jobs.h"

namespace orvane {

// A line's jobs are kept on its PostgreSQL server, reached through libpq, which the Windows
// build does not carry (as for records on such a server).
std::unique_ptr<LineJobs> LineJobs::open(const std::string& /*uri*/, JobsStatus& status) {
    status = {
        false, false,
        "the line is a Linux feature: the Windows build keeps no records on a PostgreSQL server, where a "
        "line's jobs are kept"};
    return nullptr;
}

} // namespace orvane

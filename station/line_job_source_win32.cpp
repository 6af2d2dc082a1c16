// The Windows build keeps no records on a line's PostgreSQL server, so it takes no job from one.
#include "station/line_job_source.h"

namespace orvane {

struct LineJobSource::Server {};

LineJobSource::LineJobSource(std::string /*uri*/, JobPin /*pin*/, std::filesystem::path /*copyFolder*/) {}

LineJobSource::~LineJobSource() = default;

JobLook LineJobSource::look() {
    return {JobLook::Kind::Unanswered, {}, "a line's server is reached from Linux only"};
}

bool LineJobSource::noteStation(std::string_view /*action*/, const ReleasedJob* /*job*/,
                                const std::string& /*station*/, const std::string& /*host*/,
                                const std::string& /*operatorName*/) {
    return false;
}

} // namespace orvane
